#pragma once

#include <functional>

#include <QString>
#include <QUndoCommand>

#include "core/model/MeasurementState.h"

// One change of a window's measurement as the undo history keeps it: the state before and the
// state after, whole. Taking it back or doing it again hands one of them to the window.
class MeasurementChange : public QUndoCommand
{
public:
    // What the window's measurement holds, and the one thing about it the window keeps itself:
    // whether its scale is known.
    struct State
    {
        MeasurementState measurement;
        bool calibrated = false;
        bool operator==(const State &) const = default;
    };

    using Apply = std::function<void(const State &)>;

    // The change has already been made when it is recorded: the first redo, which pushing onto
    // the stack performs, does nothing.
    MeasurementChange(const QString &text, State before, State after, Apply apply);

    void undo() override;
    void redo() override;

private:
    State before;
    State after;
    Apply apply;
    bool recorded = false;
};
