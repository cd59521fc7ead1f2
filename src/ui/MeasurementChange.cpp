#include "ui/MeasurementChange.h"

#include <utility>

MeasurementChange::MeasurementChange(
    const QString &text, State beforeChange, State afterChange, Apply applyState)
    : QUndoCommand(text),
      before(std::move(beforeChange)),
      after(std::move(afterChange)),
      apply(std::move(applyState))
{}

void MeasurementChange::undo()
{
    apply(before);
}

void MeasurementChange::redo()
{
    if (!recorded) {
        recorded = true;
        return;
    }
    apply(after);
}
