#include "core/model/Messages.h"

#include <iostream>

MessageAnswer StderrMessages::message(
    const std::string &text, const std::string &title, MessageIcon, MessageButtons buttons)
{
    std::cerr << title << ": " << text << '\n';
    return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel
        ? MessageAnswer::Yes
        : MessageAnswer::Ok;
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

ScopedMessages::ScopedMessages(Messages &sink) : previous(current)
{
    current = &sink;
}

ScopedMessages::~ScopedMessages()
{
    current = previous;
}

std::string describeException(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc &) {
        return "not enough memory";
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "an unknown error";
    }
}

void showMessage(const std::string &text, const std::string &title, MessageIcon icon)
{
    currentMessages().message(text, title, icon, MessageButtons::Ok);
}
