// Taking changes of the measurement back and doing them again, and not losing changes that
// were never written when the measurement is set aside.

#include <utility>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QUndoStack>

#include "core/model/Messages.h"
#include "ui/EventGuard.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"

MeasurementChange::State MainForm::currentState() const
{
    return {MeasurementState::of(*oxel), calibrated};
}

void MainForm::commitChange(const QString &name)
{
    if (!oxel)
        return;
    MeasurementChange::State now = currentState();
    if (now == committed)
        return;
    MeasurementChange::State before = std::exchange(committed, now);
    undoStack->push(
        new MeasurementChange(name.isEmpty() ? QString("Change") : name, std::move(before),
            std::move(now), [this](const MeasurementChange::State &state) { applyState(state); }));
}

void MainForm::settleChanges(const QString &fallbackName)
{
    if (oxel && toolMode == ToolMode::Idle) {
        commitChange(pendingChange.isEmpty() ? fallbackName : pendingChange);
        pendingChange.clear();
    }
    updateEditActions();
}

void MainForm::applyState(const MeasurementChange::State &state)
{
    dropInteraction();
    state.measurement.applyTo(*oxel);
    calibrated = state.calibrated;
    committed = state;
    pendingChange.clear();
    updateActions(); // the ruler's and the cross's check marks
    PicBox_Paint();
}

void MainForm::startHistory()
{
    undoStack->clear();
    committed = currentState();
    pendingChange.clear();
    updateEditActions();
}

void MainForm::markWritten()
{
    // What the evaluation filled in itself (a default focus distance, its working frame) was
    // written with the rest and is no change of its own.
    committed = currentState();
    undoStack->setClean();
    updateEditActions();
}

void MainForm::undoChange()
{
    if (!oxel)
        return;
    // What is being entered and not yet recorded is what the operator takes back first.
    if (currentState() != committed) {
        applyState(committed);
        updateEditActions();
        return;
    }
    undoStack->undo();
}

void MainForm::redoChange()
{
    // A change being entered has ended the history's way forward, as a recorded one would.
    if (!oxel || currentState() != committed)
        return;
    undoStack->redo();
}

void MainForm::updateEditActions()
{
    const bool open = oxel && Bitmap;
    const bool entering = open && currentState() != committed;
    const bool canUndo = open && undoStack->canUndo();
    const bool canRedo = open && !entering && undoStack->canRedo();
    m_EditUndo->setEnabled(entering || canUndo);
    if (entering)
        m_EditUndo->setText(pendingChange.isEmpty() ? "Undo" : "Undo " + pendingChange);
    else
        m_EditUndo->setText(canUndo ? "Undo " + undoStack->undoText() : "Undo");
    m_EditRedo->setEnabled(canRedo);
    m_EditRedo->setText(canRedo ? "Redo " + undoStack->redoText() : "Redo");
}

bool MainForm::hasUnsavedChanges() const
{
    return oxel && (!undoStack->isClean() || currentState() != committed);
}

bool MainForm::mayLeaveMeasurement()
{
    if (!hasUnsavedChanges())
        return true;
    const std::string text = "The measurement of "
        + QFileInfo(windowTitle()).fileName().toStdString()
        + " has changes that were not written.\nWrite Data first?";
    switch (currentMessages().message(
        text, "Oxel", MessageIcon::Question, MessageButtons::YesNoCancel)) {
    case MessageAnswer::Yes:
        // Write Data has said what it still needs when it did not write.
        writeData();
        return !hasUnsavedChanges();
    case MessageAnswer::No:
        return true;
    default:
        return false;
    }
}

void MainForm::closeEvent(QCloseEvent *event)
{
    bool mayClose = false;
    // When asking fails the window stays: nothing is lost.
    EventGuard::run([&] { mayClose = mayLeaveMeasurement(); });
    if (!mayClose) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}
