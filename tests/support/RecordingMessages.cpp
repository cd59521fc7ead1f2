#include "support/RecordingMessages.h"

#include <new>

RecordingMessages::RecordingMessages()
{
    setCurrentMessages(this);
}

RecordingMessages::~RecordingMessages()
{
    setCurrentMessages(nullptr);
}

MessageAnswer RecordingMessages::message(
    const std::string &text, const std::string &title, MessageIcon icon, MessageButtons buttons)
{
    if (failNextBox) {
        failNextBox = false;
        throw std::bad_alloc();
    }
    boxes.push_back({text, title, icon, buttons});
    if (!answers.empty()) {
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    // A three-way question (do it first, go on without, stay) is answered "go on without", so
    // that a test that did not script it goes on as it would without the question.
    if (buttons == MessageButtons::YesNoCancel)
        return MessageAnswer::No;
    return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

std::optional<std::string> RecordingMessages::input(
    const std::string &prompt, const std::string &title, const std::string &defaultText)
{
    inputs.push_back({prompt, title, defaultText});
    if (!inputAnswers.empty()) {
        auto answer = inputAnswers.front();
        inputAnswers.pop_front();
        return answer;
    }
    return std::nullopt;
}
