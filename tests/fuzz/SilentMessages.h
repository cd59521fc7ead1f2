#pragma once

#include "core/model/Messages.h"

// A message sink for the fuzz targets: the boxes a damaged file causes are expected by the
// thousand and say nothing the target checks; every question is declined.
class SilentMessages final : public Messages
{
public:
    MessageAnswer message(
        const std::string &, const std::string &, MessageIcon, MessageButtons buttons) override
    {
        return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    }

    std::optional<std::string> input(
        const std::string &, const std::string &, const std::string &) override
    {
        return std::nullopt;
    }
};
