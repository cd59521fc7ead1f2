// What is being entered on the picture stays in view: points being collected survive every
// repaint, a dragged landmark point takes its landmark's outline along, Backspace and Escape
// take back what is being collected, and a fit that fails says why.

#include <string>

#include "core/model/Messages.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"
#include "ui/ToolMode.h"

namespace {

// Stands in for the current sink while a fit runs: remembers the last box, which tells why the
// fit failed, and passes it on to the operator, or keeps it quiet while the fit only previews.
class FitComplaints final : public Messages
{
public:
    explicit FitComplaints(bool showThem) : shown(currentMessages()), showing(showThem) {}

    MessageAnswer message(const std::string &text, const std::string &title, MessageIcon icon,
        MessageButtons buttons) override
    {
        last = text;
        if (showing)
            return shown.message(text, title, icon, buttons);
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
    }

    std::optional<std::string> input(const std::string &prompt, const std::string &title,
        const std::string &defaultText) override
    {
        if (showing)
            return shown.input(prompt, title, defaultText);
        return std::nullopt;
    }

    const std::string &lastText() const { return last; }

private:
    Messages &shown;
    bool showing;
    std::string last;
};

// Why the landmark's points gave no shape: too few of them for its kind, else what the fit
// complained of.
QString whyNoFit(const PointLandmark &landmark, const std::string &complaint)
{
    const std::size_t count = landmark.points.size();
    if (dynamic_cast<const CEllipse *>(&landmark)) {
        if (count != 3 && count < 5)
            return "a rim takes 3 points or 5 or more";
    } else if (count < 3) {
        return "a circle needs 3 or more points";
    }
    if (!complaint.empty())
        return QString::fromStdString(complaint);
    return "no shape fits these points";
}

const CPoint &centreOf(const CCircle &circle)
{
    return circle.M;
}

const CPoint &centreOf(const CEllipse &ellipse)
{
    return ellipse.M0;
}

template <typename Landmark>
Landmark withPointsOfItsOwn(const Landmark &landmark)
{
    Landmark copy = landmark;
    for (auto &point : copy.points)
        point = std::make_shared<CPoint>(*point);
    return copy;
}

} // namespace

void MainForm::drawInteraction()
{
    if (!oxel)
        return;
    if (pointPreview && isPointDrag(toolMode)) {
        // The points that stay where they are, once; the moving part by exclusive-or.
        drawInLandmarkColour();
        const PointLandmark &copy = std::visit(
            [](const auto &l) -> const PointLandmark & { return l; }, pointPreview->landmark);
        for (std::size_t i = 0; i < copy.points.size(); ++i) {
            if (i != pointPreview->point)
                copy.points[i]->draw();
        }
        drawPointPreview();
        return;
    }
    switch (toolMode) {
    case ToolMode::DistanceWaiting:
        // The measuring line is drawn and moved by exclusive-or from the press on.
        PicBox->setForeColor(kColorGreen);
        PicBox->setDrawMode(kDrawXor);
        return;
    case ToolMode::DistanceDragging:
        PicBox->setForeColor(kColorGreen);
        PicBox->setDrawMode(kDrawXor);
        if (dragLine)
            dragLine->draw();
        return;
    case ToolMode::CalibSecond:
        drawInLandmarkColour();
        oxel->CalibPoints.P0.draw();
        return;
    default:
        break;
    }
    if (isLineDrag(toolMode) && dragLine) {
        // The next move erases the line where this draws it.
        PicBox->setForeColor(kColorCyan);
        PicBox->setDrawMode(kDrawXor);
        dragLine->draw();
    } else if (isCollecting(toolMode)) {
        drawInLandmarkColour();
        for (const auto &point : landmarkOfMode()->points)
            point->draw();
    }
}

void MainForm::removeLastPoint()
{
    std::vector<std::shared_ptr<CPoint>> &points = landmarkOfMode()->points;
    if (points.empty())
        return;
    points.pop_back();
    PicBox_Paint(); // its marker was drawn over the picture, not by exclusive-or
}

void MainForm::abandonCollection()
{
    const auto landmarks = oxel->landmarks();
    for (std::size_t i = 0; i < landmarks.size(); ++i) {
        if (toolMode == kLandmarkTools[i].collect)
            entryStart.applyLandmarkTo(*oxel, i);
    }
    toolMode = ToolMode::Idle;
    oxel->Visible = true;
    PicBox->setMousePointer(MousePointer::Default);
    setStatus("");
    // A line still held from before the tool was chosen goes back too.
    if (dragLine || dragPoint)
        cancelDrag();
    else
        PicBox_Paint();
}

void MainForm::beginPointPreview(const PointLandmark &landmark, std::size_t point)
{
    PointPreview preview{CCircle(), point, true};
    if (const auto *circle = dynamic_cast<const CCircle *>(&landmark))
        preview.landmark = withPointsOfItsOwn(*circle);
    else if (const auto *ellipse = dynamic_cast<const CEllipse *>(&landmark))
        preview.landmark = withPointsOfItsOwn(*ellipse);
    else
        return; // a kind that cannot be previewed is moved at the release only
    pointPreview = std::move(preview);
}

void MainForm::movePointPreview(double x, double y)
{
    drawPointPreview(); // erases where the last move drew it
    PointLandmark &copy =
        std::visit([](auto &l) -> PointLandmark & { return l; }, pointPreview->landmark);
    copy.points[pointPreview->point]->change(x, y);
    // Where the points give no shape the outline is left out; the release says why.
    FitComplaints quiet(false);
    const ScopedMessages scope(quiet);
    pointPreview->fits = copy.fit();
    drawPointPreview();
}

void MainForm::drawPointPreview()
{
    PointLandmark &copy =
        std::visit([](auto &l) -> PointLandmark & { return l; }, pointPreview->landmark);
    PicBox->setForeColor(kColorCyan);
    PicBox->setDrawMode(kDrawXor);
    // The outline and its centre where the points give one, and the dragged point: what a
    // move changes, whatever the number of points.
    if (pointPreview->fits) {
        copy.Valid = true;
        copy.PVisible = false;
        copy.draw(kColorCyan);
        std::visit([](const auto &l) { centreOf(l).draw(); }, pointPreview->landmark);
    }
    copy.points[pointPreview->point]->draw();
}

bool MainForm::fitLandmark(PointLandmark &landmark, QString &whyNot, bool showComplaints)
{
    FitComplaints complaints(showComplaints);
    bool fitted = false;
    {
        const ScopedMessages scope(complaints);
        fitted = landmark.fit();
    }
    whyNot = fitted ? QString() : whyNoFit(landmark, complaints.lastText());
    return fitted;
}

void MainForm::holdStatus(const QString &text)
{
    setStatus(text);
    statusHeld = true;
}
