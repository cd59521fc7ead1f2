#include "core/model/Messages.h"

#include <iostream>

MessageAnswer StderrMessages::message(
    const std::string &text, const std::string &title, MessageIcon, MessageButtons buttons)
{
    std::cerr << title << ": " << text << '\n';
    return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

std::optional<std::string> StderrMessages::input(
    const std::string &prompt, const std::string &title, const std::string &)
{
    std::cerr << title << ": " << prompt << '\n';
    return std::nullopt;
}

namespace {

StderrMessages stderrMessages;
Messages *current = &stderrMessages;

} // namespace

Messages &currentMessages()
{
    return *current;
}

void setCurrentMessages(Messages *sink)
{
    current = sink ? sink : &stderrMessages;
}

void showMessage(const std::string &text, const std::string &title, MessageIcon icon)
{
    currentMessages().message(text, title, icon, MessageButtons::Ok);
}
