#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/model/Messages.h"

// A message sink that records every box and answers from a script. It installs itself as the
// current sink for its lifetime.
class RecordingMessages final : public Messages
{
public:
    struct Box
    {
        std::string text;
        std::string title;
        MessageIcon icon;
        MessageButtons buttons;
    };

    struct Input
    {
        std::string prompt;
        std::string title;
        std::string defaultText;
    };

    RecordingMessages();
    ~RecordingMessages() override;
    RecordingMessages(const RecordingMessages &) = delete;
    RecordingMessages &operator=(const RecordingMessages &) = delete;

    MessageAnswer message(const std::string &text, const std::string &title, MessageIcon icon,
        MessageButtons buttons) override;
    std::optional<std::string> input(const std::string &prompt, const std::string &title,
        const std::string &defaultText) override;

    // Answers for the next boxes and input boxes, in order; when they run out a box is
    // answered Ok (Yes for a question, No for a Yes/No/Cancel one) and an input box is
    // cancelled.
    std::deque<MessageAnswer> answers;
    std::deque<std::optional<std::string>> inputAnswers;

    // When set, the next box throws std::bad_alloc instead of being shown, as showing it would
    // once memory has run out; the flag is then cleared.
    bool failNextBox = false;

    std::vector<Box> boxes;
    std::vector<Input> inputs;
};
