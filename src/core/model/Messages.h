#pragma once

#include <exception>
#include <optional>
#include <string>

enum class MessageIcon {
    None,
    Critical, // the stop sign of refusals and errors
    Question,
    Exclamation,
    Information,
};

enum class MessageButtons {
    Ok,
    OkCancel,
    YesNo,
    // Yes to do the thing first, No to go on without it, Cancel to stay.
    YesNoCancel,
};

enum class MessageAnswer {
    Ok,
    Cancel,
    Yes,
    No,
};

// The title of a box that names none of its own.
inline constexpr const char *kApplicationTitle = "Oxel2";

// How the core reaches the operator: modal message boxes and the one input box. The desktop
// program shows widgets, the command line writes to stderr, tests record and answer.
class Messages
{
public:
    virtual ~Messages() = default;

    // Shows text (a line feed separates the parts of a two-part message) and returns the
    // button the operator chose.
    virtual MessageAnswer message(const std::string &text, const std::string &title,
        MessageIcon icon, MessageButtons buttons) = 0;
    // An input box with one text field; nothing when the operator cancels.
    virtual std::optional<std::string> input(
        const std::string &prompt, const std::string &title, const std::string &defaultText) = 0;
};

// Boxes written to stderr as "Title: text"; a question is answered with its first button (Ok
// or Yes) and an input box is cancelled. The sink of programs without a window.
class StderrMessages : public Messages
{
public:
    MessageAnswer message(const std::string &text, const std::string &title, MessageIcon icon,
        MessageButtons buttons) override;
    std::optional<std::string> input(const std::string &prompt, const std::string &title,
        const std::string &defaultText) override;
};

// The process-wide sink. Until a program installs its own, messages go to stderr and every
// question is answered with its first button (Ok or Yes) and every input box is cancelled.
Messages &currentMessages();
// Installs a sink (not owned; it must outlive its use) or, with nullptr, the stderr default.
void setCurrentMessages(Messages *sink);

// Shorthand for the common box: text, title, icon and an OK button.
void showMessage(const std::string &text, const std::string &title, MessageIcon icon);

// Installs a sink for the life of this object and puts back the one that was current before,
// also when an exception ends the scope.
class ScopedMessages
{
public:
    explicit ScopedMessages(Messages &sink);
    ~ScopedMessages();
    ScopedMessages(const ScopedMessages &) = delete;
    ScopedMessages &operator=(const ScopedMessages &) = delete;

private:
    Messages *previous;
};

// Why a command could not be completed, for the operator, from an exception that reached a
// program's outermost guard: "not enough memory" for a failed allocation, the exception's own
// text otherwise.
std::string describeException(const std::exception_ptr &error);
