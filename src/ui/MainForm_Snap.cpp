// Snap to Edge: head, cup and rim points placed on the outline in the picture instead of where
// the hand happened to click.

#include <algorithm>
#include <utility>
#include <vector>

#include <QAction>

#include "core/image/LandmarkSnap.h"
#include "ui/MainForm.h"

namespace {

// Beside Open Fitted in the View section.
constexpr const char *kSnapToEdgeKey = "SnapToEdge";

QString refusalText(EdgeSnap::Outcome outcome)
{
    return QString("Snap to Edge: %1 \u2013 the point stays where it was clicked")
        .arg(QString::fromLatin1(EdgeSnap::reasonText(outcome)));
}

} // namespace

bool MainForm::snapToEdgeRemembered() const
{
    return viewChoiceRemembered(kSnapToEdgeKey);
}

void MainForm::rememberSnapToEdge(bool on)
{
    rememberViewChoice(&MainForm::m_SnapToEdge, kSnapToEdgeKey, "Snap to Edge", on);
}

EdgeSnap::GreyView MainForm::loadedGreyView() const
{
    // Sharpening moves and steepens edges, brightness and inversion only relabel grey levels:
    // the outline is sought in the pixels as they were loaded.
    return EdgeSnap::GreyView::bottomUp(
        Bitmap->loadedPixels(), Bitmap->W, Bitmap->H, Bitmap->stride());
}

QPointF MainForm::placeOnEdge(const PointLandmark &landmark, double x, double y, QString &whyNot)
{
    whyNot.clear();
    if (!m_SnapToEdge->isChecked() || (pictureModifiers & Qt::ShiftModifier) || !Bitmap
        || !Bitmap->loadedPixels())
        return {x, y};
    const EdgeSnap::Result result = LandmarkSnap::snapPoint(loadedGreyView(), landmark, x, y);
    if (result.outcome != EdgeSnap::Outcome::Snapped) {
        whyNot = refusalText(result.outcome);
        return {x, y};
    }
    return {result.x, result.y};
}

QString MainForm::snapAfterFit(PointLandmark &landmark)
{
    std::vector<std::weak_ptr<CPoint>> exact;
    std::swap(exact, exactPoints);
    if (!m_SnapToEdge->isChecked() || !landmark.Valid || !Bitmap || !Bitmap->loadedPixels())
        return {};
    const auto placedExactly = [&exact](const CPoint &point) {
        return std::any_of(exact.begin(), exact.end(),
            [&point](const std::weak_ptr<CPoint> &held) { return held.lock().get() == &point; });
    };
    const LandmarkSnap::Report report =
        LandmarkSnap::snapAcrossFit(loadedGreyView(), landmark, placedExactly);
    if (report.snapped > 0 && !report.refitted)
        return "Snap to Edge: the snapped points gave no fit \u2013 the points stay where "
               "they were clicked";
    if (report.refused == 0)
        return {};
    return QString("Snap to Edge: %1 of %2 points found no edge across the fit and stay where "
                   "they were clicked")
        .arg(report.refused)
        .arg(landmark.points.size());
}
