// The picture's mouse and keyboard: placing and dragging lines, collecting and fitting
// landmark points, calibrating, measuring a distance, zooming by click.

#include <charconv>
#include <cmath>
#include <system_error>

#include <QLabel>
#include <QLineEdit>
#include <QLocale>

#include "core/model/Messages.h"
#include "ui/CalibDialog.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"

namespace {

// Modes of the picture (toolMode).
constexpr std::int16_t kIdle = 0;
constexpr std::int16_t kCalibFirst = 21;
constexpr std::int16_t kCalibSecond = 22;
constexpr std::int16_t kDistanceWaiting = 25;
constexpr std::int16_t kDistanceDragging = 26;
constexpr std::int16_t kZoomByClick = 90;
constexpr std::int16_t kHeadPoints = 100, kHeadPointDrag = 101;
constexpr std::int16_t kCupPoints = 200, kCupPointDrag = 201;
constexpr std::int16_t kRimPoints = 300, kRimPointDrag = 301;

struct LineItem
{
    const char *name;
    int cursor;
};

// Names and hover cursors of hit codes 1 to 14.
const LineItem kLineItems[] = {
    {"Base-Line", MousePointer::Diagonal},
    {"Base-Line", MousePointer::Diagonal},
    {"Base-Line", MousePointer::UpDown},
    {"H-M-Line", MousePointer::UpDown},
    {"Top-Line", MousePointer::UpDown},
    {"Left-Line", MousePointer::LeftRight},
    {"V-M-Line", MousePointer::LeftRight},
    {"F-Line", MousePointer::LeftRight},
    {"Right-Line", MousePointer::LeftRight},
    {"Cross-H-Line", MousePointer::UpDown},
    {"Cross-V-Line", MousePointer::LeftRight},
    {"Ruler-Line", MousePointer::UpDown},
    {"Ruler-Line", MousePointer::Diagonal},
    {"Ruler-Line", MousePointer::Diagonal},
};

const char *hoverSuffix(int code)
{
    switch (code) {
    case 1:
    case 13:
        return " P0";
    case 2:
    case 14:
        return " P1";
    default:
        return "";
    }
}

bool isLineCode(int code)
{
    return code >= 1 && code <= 14;
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

CLine *lineOfCode(COxel &oxel, int code)
{
    switch (code) {
    case 1:
    case 2:
    case 3:
        return &oxel.H_B;
    case 4:
        return &oxel.H_M;
    case 5:
        return &oxel.H_T;
    case 6:
        return &oxel.V_L;
    case 7:
        return &oxel.V_M;
    case 8:
        return &oxel.V_F;
    case 9:
        return &oxel.V_R;
    case 10:
        return &oxel.Cross_H;
    case 11:
        return &oxel.Cross_V;
    default:
        return &oxel.Ruler;
    }
}

} // namespace

void MainForm::drawInLandmarkColour()
{
    PicBox->setForeColor(setColor);
    PicBox->setDrawMode(kDrawCopy);
}

PointLandmark *MainForm::landmarkOfMode() const
{
    switch (toolMode) {
    case kHeadPoints:
    case kHeadPointDrag:
        return &oxel->Head;
    case kCupPoints:
    case kCupPointDrag:
        return &oxel->Cup;
    case kRimPoints:
    case kRimPointDrag:
        return &oxel->Rim;
    default:
        return nullptr;
    }
}

bool MainForm::refitLandmarkOfMode()
{
    switch (toolMode) {
    case kHeadPoints:
    case kHeadPointDrag:
        return oxel->Head.fit();
    case kCupPoints:
    case kCupPointDrag:
        return oxel->Cup.fit();
    case kRimPoints:
    case kRimPointDrag:
        return oxel->Rim.fit();
    default:
        return false;
    }
}

void MainForm::picMouseDown(int button, double x, double y)
{
    if (!oxel)
        return;
    if (button == MouseButton::Right) {
        const bool dragging = (toolMode >= 1 && toolMode <= 14) || toolMode == kDistanceDragging
            || toolMode == kHeadPointDrag || toolMode == kCupPointDrag || toolMode == kRimPointDrag;
        // A right press in the middle of a drag takes it back, as Escape does.
        if (dragging)
            cancelDrag();
        else if (toolMode == kHeadPoints || toolMode == kCupPoints || toolMode == kRimPoints)
            finishLandmark();
        toolMode = kIdle;
        PicBox->setMousePointer(MousePointer::Default);
        setStatus("");
        return;
    }
    if (button != MouseButton::Left)
        return;

    switch (toolMode) {
    case kIdle:
        pick(x, y);
        break;
    case kCalibFirst:
        dragPoint->change(x, y);
        drawInLandmarkColour();
        oxel->CalibPoints.P0.draw();
        dragPoint = &oxel->CalibPoints.P1;
        toolMode = kCalibSecond;
        setStatus("select 2nd point for calibration");
        break;
    case kCalibSecond:
        dragPoint->change(x, y);
        drawInLandmarkColour();
        oxel->CalibPoints.P1.draw();
        dragPoint = nullptr;
        toolMode = kIdle;
        setStatus("");
        calibrationDialog();
        break;
    case kDistanceWaiting:
        dragLine->init(x, y, x, y);
        toolMode = kDistanceDragging;
        break;
    case kZoomByClick:
        zoomBy(zoomStep, true, x, y);
        break;
    case kHeadPoints:
    case kCupPoints:
    case kRimPoints: {
        const auto point = landmarkOfMode()->addPoint(x, y);
        drawInLandmarkColour();
        point->draw();
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
    struct
    {
        PointLandmark *landmark;
        std::int16_t dragMode;
        const char *name;
    } const landmarks[] = {
        {&oxel->Head, kHeadPointDrag, "HeadPoint"},
        {&oxel->Cup, kCupPointDrag, "CupPoint"},
        {&oxel->Rim, kRimPointDrag, "RimPoint"},
    };

    for (const auto &entry : landmarks) {
        const int code = entry.landmark->findMode(x, y);
        if (code == 0)
            continue;
        heldPoint =
            entry.landmark->points[static_cast<std::size_t>(code - entry.landmark->codeBase() - 1)];
        dragPoint = heldPoint.get();
        heldPointStart.copy(*heldPoint);
        oxel->Visible = false;
        PicBox_Paint();
        PicBox->setMousePointer(MousePointer::Cross);
        setStatus(QString("move %1 to desired position and release the mouse").arg(entry.name));
        toolMode = entry.dragMode;
        return;
    }
    const int code = oxel->findMode(x, y);
    if (!isLineCode(code))
        return;
    toolMode = static_cast<std::int16_t>(code);
    setStatus(QString("move %1 to desired position and release the mouse")
                  .arg(kLineItems[code - 1].name));
    beginLineDrag(*lineOfCode(*oxel, code), x, y);
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
    if (toolMode == kIdle) {
        const int code = oxel->findMode(x, y);
        if (code == 0) {
            setStatus("");
            PicBox->setMousePointer(MousePointer::Default);
        } else if (isLineCode(code)) {
            setStatus(QString("... %1%2").arg(kLineItems[code - 1].name, hoverSuffix(code)));
            PicBox->setMousePointer(kLineItems[code - 1].cursor);
        } else {
            setStatus("... Point");
            PicBox->setMousePointer(MousePointer::FourWay);
        }
        return;
    }
    if (!dragLine)
        return;
    switch (toolMode) {
    case 1:
    case 13:
        dragLine->changeP0(x, y);
        break;
    case 2:
    case 14:
        dragLine->changeP1(x, y);
        break;
    case kDistanceDragging:
        dragLine->changeP1(x, y);
        setStatus("length = " + oneDecimal(dragLine->length() / oxel->ScaleFactor));
        break;
    default:
        if (toolMode >= 3 && toolMode <= 12)
            dragLine->translate(x, y, grabRatio);
        break;
    }
}

void MainForm::picMouseUp(double x, double y)
{
    if (!oxel)
        return;
    switch (toolMode) {
    case kIdle:
    case kCalibFirst:
    case kCalibSecond:
    case kZoomByClick:
    case kHeadPoints:
    case kCupPoints:
    case kRimPoints:
    case kDistanceWaiting:
        return;
    case 1:
    case 2:
        oxel->initFrom(*dragLine); // the grid follows its base line's ends
        break;
    case kHeadPointDrag:
    case kCupPointDrag:
    case kRimPointDrag: {
        dragPoint->change(x, y);
        PointLandmark *landmark = landmarkOfMode();
        if (refitLandmarkOfMode()) {
            landmark->Valid = true;
            landmark->PVisible = true;
        } else {
            // The old shape no longer fits the points: it must not be measured or stored as
            // valid. The fit has said why.
            landmark->Valid = false;
        }
        setStatus("");
        break;
    }
    default:
        break;
    }
    endDrag();
}

void MainForm::endDrag()
{
    dragLine = nullptr;
    dragPoint = nullptr;
    heldPoint.reset();
    oxel->Visible = true;
    drawInLandmarkColour();
    toolMode = kIdle;
    setStatus("");
    PicBox_Paint();
}

void MainForm::cancelDrag()
{
    toolMode = kIdle;
    if (dragLine) {
        if (!lineBackup)
            lineBackup = std::make_unique<CLine>();
        dragLine->copy(*lineBackup);
        dragLine = nullptr;
    }
    dragPoint = nullptr;
    heldPoint.reset();
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
    distanceLine = CLine();
    toolMode = kIdle;
    if (oxel)
        oxel->Visible = true;
    PicBox->setMousePointer(MousePointer::Default);
    setStatus("");
}

void MainForm::picKeyDown(int key)
{
    if (key != kKeyEscape || !oxel)
        return;
    if (!dragLine && !dragPoint) {
        if (toolMode == kZoomByClick) {
            toolMode = kIdle;
            PicBox->setMousePointer(MousePointer::Default);
        }
        return;
    }
    cancelDrag();
}

void MainForm::finishLandmark()
{
    PointLandmark *landmark = landmarkOfMode();
    if (refitLandmarkOfMode()) {
        landmark->Valid = true;
        oxel->Visible = true;
        oxel->draw(unsetColor, setColor);
    } else {
        // The grid comes back; the landmark stays unfitted with its points.
        oxel->Visible = true;
        PicBox_Paint();
    }
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
