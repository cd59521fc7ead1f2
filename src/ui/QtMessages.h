#pragma once

#include "core/model/Messages.h"

// The operator's message boxes and input box as Qt dialogs, owned by the active window.
class QtMessages final : public Messages
{
public:
    MessageAnswer message(const std::string &text, const std::string &title, MessageIcon icon,
        MessageButtons buttons) override;
    std::optional<std::string> input(const std::string &prompt, const std::string &title,
        const std::string &defaultText) override;
};
