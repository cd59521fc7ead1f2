// The picture's mouse and keyboard: placing and dragging lines, collecting and fitting
// landmark points, calibrating, measuring a distance, zooming by click.

#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>
#include <vector>

#include <QLabel>
#include <QLineEdit>
#include <QLocale>

#include "core/model/Messages.h"
#include "ui/CalibDialog.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"
#include "ui/ToolMode.h"

namespace {

// The hover cursor of each line hit code (1 to 14).
int hoverCursor(HitCode code)
{
    switch (code) {
    case HitCode::BaseP0:
    case HitCode::BaseP1:
    case HitCode::RulerP0:
    case HitCode::RulerP1:
        return MousePointer::Diagonal;
    case HitCode::LeftLine:
    case HitCode::VMLine:
    case HitCode::FLine:
    case HitCode::RightLine:
    case HitCode::CrossV:
        return MousePointer::LeftRight;
    default:
        return MousePointer::UpDown;
    }
}

const char *hoverSuffix(HitCode code)
{
    switch (code) {
    case HitCode::BaseP0:
    case HitCode::RulerP0:
        return " P0";
    case HitCode::BaseP1:
    case HitCode::RulerP1:
        return " P1";
    default:
        return "";
    }
}

QString lineName(HitCode code)
{
    return QString::fromLatin1(COxel::kLineNames[COxel::lineIndex(code)]);
}

QString oneDecimal(double v)
{
    return QLocale().toString(v, 'f', 1);
}

// The distance the dialog stored as a single, as the shortest decimal that reads back to the
// same single: 25.4 stays 25.4, never 25.3999996185303.
QString singleText(double value)
{
    char buffer[64];
    const auto [end, ec] = std::to_chars(
        buffer, buffer + sizeof buffer, static_cast<float>(value), std::chars_format::fixed);
    if (ec != std::errc())
        return QLocale().toString(value, 'g', 9);
    return QString::fromLatin1(buffer, static_cast<qsizetype>(end - buffer))
        .replace(QLatin1Char('.'), QLocale().decimalPoint());
}

} // namespace

void MainForm::drawInLandmarkColour()
{
    PicBox->setForeColor(setColor);
    PicBox->setDrawMode(kDrawCopy);
}

PointLandmark *MainForm::landmarkOfMode() const
{
    const auto landmarks = oxel->landmarks();
    for (std::size_t i = 0; i < landmarks.size(); ++i) {
        if (toolMode == kLandmarkTools[i].collect || toolMode == kLandmarkTools[i].drag)
            return landmarks[i];
    }
    return nullptr;
}

void MainForm::picMouseDown(int button, double x, double y)
{
    if (!oxel)
        return;
    statusHeld = false;
    if (button == MouseButton::Right) {
        const bool collecting = toolMode == ToolMode::CollectHead
            || toolMode == ToolMode::CollectCup || toolMode == ToolMode::CollectRim;
        QString whyNotFitted;
        // A right press in the middle of a drag takes it back, as Escape does.
        if (collecting)
            whyNotFitted = finishLandmark();
        else if (landmarkOfMode() || isLineDrag(toolMode) || toolMode == ToolMode::DistanceDragging)
            cancelDrag();
        toolMode = ToolMode::Idle;
        PicBox->setMousePointer(MousePointer::Default);
        setStatus("");
        if (!whyNotFitted.isEmpty())
            holdStatus(whyNotFitted);
        return;
    }
    if (button != MouseButton::Left)
        return;

    switch (toolMode) {
    case ToolMode::Idle:
        pick(x, y);
        break;
    case ToolMode::CalibFirst:
        dragPoint->change(x, y);
        drawInLandmarkColour();
        oxel->CalibPoints.P0.draw();
        dragPoint = &oxel->CalibPoints.P1;
        toolMode = ToolMode::CalibSecond;
        setStatus("select 2nd point for calibration");
        break;
    case ToolMode::CalibSecond:
        dragPoint->change(x, y);
        drawInLandmarkColour();
        oxel->CalibPoints.P1.draw();
        dragPoint = nullptr;
        toolMode = ToolMode::Idle;
        setStatus("");
        calibrationDialog();
        break;
    case ToolMode::DistanceWaiting:
        dragLine->init(x, y, x, y);
        toolMode = ToolMode::DistanceDragging;
        break;
    case ToolMode::ZoomByClick:
        zoomBy(zoomStep, true, x, y);
        break;
    case ToolMode::CollectHead:
    case ToolMode::CollectCup:
    case ToolMode::CollectRim: {
        PointLandmark *landmark = landmarkOfMode();
        if (landmark->points.empty()) {
            exactPoints.clear();
            snappedClicks.clear();
        }
        QString whyNotSnapped;
        const QPointF at = placeOnEdge(*landmark, x, y, whyNotSnapped);
        const auto point = landmark->addPoint(at.x(), at.y());
        if (at != QPointF(x, y))
            snappedClicks.emplace_back(point, QPointF(x, y));
        if (m_SnapToEdge->isChecked() && (pictureModifiers & Qt::ShiftModifier))
            exactPoints.push_back(point);
        drawInLandmarkColour();
        point->draw();
        if (!whyNotSnapped.isEmpty()) {
            holdStatus(whyNotSnapped);
        } else if (statusText().startsWith("Snap to Edge:")) {
            for (const LandmarkTool &tool : kLandmarkTools)
                if (tool.collect == toolMode)
                    setStatus(tool.prompt); // the refusal has been answered
        }
        break;
    }
    default:
        break;
    }
}

void MainForm::pick(double x, double y)
{
    // The landmarks are asked in the measurement's own order, each for its own points, so that
    // any number of points stays told apart.
    const auto landmarks = oxel->landmarks();
    for (std::size_t i = 0; i < landmarks.size(); ++i) {
        const HitCode code = landmarks[i]->findMode(x, y);
        if (code == HitCode::Nothing)
            continue;
        heldPoint = landmarks[i]->pointAt(code);
        dragPoint = heldPoint.get();
        heldPointStart.copy(*heldPoint);
        oxel->Visible = false;
        // The repaint shows the landmark following the point from the start.
        toolMode = kLandmarkTools[i].drag;
        beginPointPreview(*landmarks[i],
            static_cast<std::size_t>(
                static_cast<int>(code) - static_cast<int>(landmarks[i]->codeBase()) - 1));
        pendingChange = QString("Move %1").arg(kLandmarkTools[i].pointName);
        PicBox_Paint();
        PicBox->setMousePointer(MousePointer::Cross);
        setStatus(QString("move %1 to desired position and release the mouse")
                      .arg(kLandmarkTools[i].pointName));
        return;
    }
    const HitCode code = oxel->findMode(x, y);
    if (!isLineHit(code))
        return;
    toolMode = dragModeOf(code);
    pendingChange = "Move " + lineName(code);
    setStatus(QString("move %1 to desired position and release the mouse").arg(lineName(code)));
    beginLineDrag(*oxel->lines()[COxel::lineIndex(code)], x, y);
}

void MainForm::beginLineDrag(CLine &line, double x, double y)
{
    oxel->Visible = false;
    PicBox_Paint();
    PicBox->setForeColor(kColorCyan);
    PicBox->setDrawMode(kDrawXor);
    line.Valid = true; // taking hold of a line confirms it
    if (!lineBackup)
        lineBackup = std::make_unique<CLine>();
    lineBackup->copy(line);
    dragLine = &line;
    const double d0 = std::hypot(x - line.P0.x, y - line.P0.y);
    const double d1 = std::hypot(x - line.P1.x, y - line.P1.y);
    // A line whose ends coincide is held at its middle.
    grabRatio = d0 + d1 > 0 ? d1 / (d0 + d1) : 0.5;
    line.draw();
}

void MainForm::picMouseMove(double x, double y)
{
    if (!oxel)
        return;
    e_Position->setText(oneDecimal(oxel->WorldX(x)) + " " + oneDecimal(oxel->WorldY(y)));
    if (toolMode == ToolMode::Idle) {
        const HitCode code = oxel->findMode(x, y);
        QString hover;
        if (code == HitCode::Nothing) {
            PicBox->setMousePointer(MousePointer::Default);
        } else if (isLineHit(code)) {
            hover = QString("... %1%2").arg(lineName(code), hoverSuffix(code));
            PicBox->setMousePointer(hoverCursor(code));
        } else {
            hover = "... Point";
            PicBox->setMousePointer(MousePointer::FourWay);
        }
        if (!statusHeld)
            setStatus(hover);
        return;
    }
    if (pointPreview && isPointDrag(toolMode)) {
        movePointPreview(x, y);
        return;
    }
    if (!dragLine)
        return;
    switch (toolMode) {
    case ToolMode::DragBaseP0:
    case ToolMode::DragRulerP0:
        dragLine->changeP0(x, y);
        break;
    case ToolMode::DragBaseP1:
    case ToolMode::DragRulerP1:
        dragLine->changeP1(x, y);
        break;
    case ToolMode::DistanceDragging:
        dragLine->changeP1(x, y);
        setStatus("length = " + oneDecimal(dragLine->length() / oxel->ScaleFactor));
        break;
    default:
        if (isParallelDrag(toolMode))
            dragLine->translate(x, y, grabRatio);
        break;
    }
}

void MainForm::picMouseUp(double x, double y)
{
    if (!oxel)
        return;
    switch (toolMode) {
    case ToolMode::Idle:
    case ToolMode::CalibFirst:
    case ToolMode::CalibSecond:
    case ToolMode::ZoomByClick:
    case ToolMode::CollectHead:
    case ToolMode::CollectCup:
    case ToolMode::CollectRim:
    case ToolMode::DistanceWaiting:
        return;
    case ToolMode::DragBaseP0:
    case ToolMode::DragBaseP1:
        oxel->initFrom(*dragLine); // the grid follows its base line's ends
        break;
    case ToolMode::DragHeadPoint:
    case ToolMode::DragCupPoint:
    case ToolMode::DragRimPoint: {
        PointLandmark *landmark = landmarkOfMode();
        QString whyNotSnapped;
        const QPointF at = placeOnEdge(*landmark, x, y, whyNotSnapped);
        dragPoint->change(at.x(), at.y());
        QString whyNotFitted;
        if (fitLandmark(*landmark, whyNotFitted)) {
            landmark->Valid = true;
            landmark->PVisible = true;
        } else {
            // The old shape no longer fits the points: it must not be measured or stored as
            // valid. The fit has said why.
            landmark->Valid = false;
        }
        setStatus("");
        endDrag();
        if (!whyNotFitted.isEmpty())
            holdStatus(whyNotFitted);
        else if (!whyNotSnapped.isEmpty())
            holdStatus(whyNotSnapped);
        return;
    }
    case ToolMode::DistanceDragging: {
        // The reading stays until the operator does something else.
        const QString reading = "length = " + oneDecimal(dragLine->length() / oxel->ScaleFactor);
        endDrag();
        holdStatus(reading);
        return;
    }
    default:
        // Taking hold of a line without moving it only confirmed it.
        if (dragLine && lineBackup && dragLine->P0.x == lineBackup->P0.x
            && dragLine->P0.y == lineBackup->P0.y && dragLine->P1.x == lineBackup->P1.x
            && dragLine->P1.y == lineBackup->P1.y && isLineDrag(toolMode))
            pendingChange = "Confirm " + lineName(static_cast<HitCode>(toolMode));
        break;
    }
    endDrag();
}

void MainForm::endDrag()
{
    dragLine = nullptr;
    dragPoint = nullptr;
    heldPoint.reset();
    pointPreview.reset();
    oxel->Visible = true;
    drawInLandmarkColour();
    toolMode = ToolMode::Idle;
    setStatus("");
    PicBox_Paint();
}

void MainForm::cancelDrag()
{
    toolMode = ToolMode::Idle;
    if (dragLine) {
        if (!lineBackup)
            lineBackup = std::make_unique<CLine>();
        dragLine->copy(*lineBackup);
        dragLine = nullptr;
    }
    dragPoint = nullptr;
    heldPoint.reset();
    pointPreview.reset();
    oxel->Visible = true;
    setStatus("");
    PicBox_Paint();
}

void MainForm::dropInteraction()
{
    // What the modes hold points into the measurement: a line or point being dragged, the
    // calibration point to be placed next, the landmark whose points are being collected.
    // A drag that is cut short puts its line back, as Escape does.
    if (dragLine && dragLine != &distanceLine && lineBackup)
        dragLine->copy(*lineBackup);
    // A point is moved only at the release; one cut short there goes back to where it was.
    if (heldPoint)
        heldPoint->copy(heldPointStart);
    dragLine = nullptr;
    dragPoint = nullptr;
    heldPoint.reset();
    pointPreview.reset();
    distanceLine = CLine();
    toolMode = ToolMode::Idle;
    if (oxel)
        oxel->Visible = true;
    PicBox->setMousePointer(MousePointer::Default);
    setStatus("");
}

void MainForm::picKeyDown(int key)
{
    if (!oxel)
        return;
    statusHeld = false;
    if (key == Qt::Key_Backspace && isCollecting(toolMode)) {
        removeLastPoint();
        return;
    }
    if (key != kKeyEscape)
        return;
    if (isCollecting(toolMode)) {
        abandonCollection();
        return;
    }
    if (!dragLine && !dragPoint) {
        if (toolMode == ToolMode::ZoomByClick) {
            toolMode = ToolMode::Idle;
            PicBox->setMousePointer(MousePointer::Default);
        }
        return;
    }
    cancelDrag();
}

QString MainForm::finishLandmark()
{
    PointLandmark *landmark = landmarkOfMode();
    QString whyNotFitted;
    std::vector<std::pair<std::weak_ptr<CPoint>, QPointF>> clicks;
    std::swap(clicks, snappedClicks);
    // Snapping must not cost the operator a landmark the clicks themselves determine: then the
    // clicks are fitted, and the snap after the fit searches near that fit.
    bool fitted = fitLandmark(*landmark, whyNotFitted, clicks.empty());
    QString note;
    if (!fitted && !clicks.empty()) {
        for (const auto &[held, click] : clicks)
            if (const auto point = held.lock())
                point->change(click.x(), click.y());
        fitted = fitLandmark(*landmark, whyNotFitted);
        if (fitted)
            note = "Snap to Edge: the snapped points gave no fit \u2013 the points as clicked "
                   "were fitted";
    }
    if (fitted) {
        landmark->Valid = true;
        whyNotFitted = snapAfterFit(*landmark); // only a note: the landmark is fitted
        if (whyNotFitted.isEmpty())
            whyNotFitted = note;
        oxel->Visible = true;
        oxel->draw(unsetColor, setColor);
    } else {
        // The grid comes back; the landmark stays unfitted with its points.
        oxel->Visible = true;
        toolMode = ToolMode::Idle; // the repaint draws no points of an entry that has ended
        PicBox_Paint();
    }
    return whyNotFitted;
}

void MainForm::calibrationDialog()
{
    CalibDialog dialog(this);
    if (oxel->CalibDist > 0)
        dialog.e_Distance->setText(singleText(oxel->CalibDist));
    dialog.exec();
    if (dialog.Dist > 0) {
        oxel->CalibDist = dialog.Dist;
        if (oxel->Calibrate(Bitmap->W, Bitmap->H))
            calibrated = true;
        else
            showMessage("the two calibration points lie on one another; calibrate again", "Oxel",
                MessageIcon::Exclamation);
    } else {
        oxel->CalibPoints = CLine();
    }
}
