// Snap to Edge: head, cup and rim points placed on the outline in the picture instead of where
// the hand happened to click.

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QSignalBlocker>

#include "core/model/CCircle.h"
#include "core/model/CEllipse.h"
#include "core/records/Settings.h"
#include "ui/MainForm.h"

namespace {

// Beside Open Fitted: the entry of the picture opened last is never touched.
constexpr const char *kViewSection = "View";
constexpr const char *kSnapToEdgeKey = "SnapToEdge";

QString refusalText(EdgeSnap::Outcome outcome)
{
    return QString("Snap to Edge: %1 \u2013 the point stays where it was clicked")
        .arg(QString::fromLatin1(EdgeSnap::reasonText(outcome)));
}

} // namespace

bool MainForm::snapToEdgeRemembered() const
{
    return Settings::read(environment.settingsPath.toStdString(), kViewSection, kSnapToEdgeKey)
        == "1";
}

void MainForm::rememberSnapToEdge(bool on)
{
    std::string reason;
    if (!Settings::write(environment.settingsPath.toStdString(), kViewSection, kSnapToEdgeKey,
            on ? "1" : "0", &reason))
        holdStatus("Snap to Edge could not be remembered in " + environment.settingsPath + ": "
            + QString::fromStdString(reason));
    // Every window of the same settings file shows the same choice.
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *other = qobject_cast<MainForm *>(widget);
        if (other && other != this && other->environment.settingsPath == environment.settingsPath) {
            const QSignalBlocker quiet(other->m_SnapToEdge);
            other->m_SnapToEdge->setChecked(on);
        }
    }
}

EdgeSnap::Result MainForm::snapToEdge(const PointLandmark &landmark, double x, double y) const
{
    // Sharpening moves and steepens edges, brightness and inversion only relabel grey levels:
    // the outline is sought in the pixels as they were loaded.
    const auto picture = EdgeSnap::GreyView::bottomUp(
        Bitmap->loadedPixels(), Bitmap->W, Bitmap->H, Bitmap->stride());
    std::optional<EdgeSnap::Direction> across;
    if (landmark.Valid) {
        if (const auto *circle = dynamic_cast<const CCircle *>(&landmark))
            across = EdgeSnap::acrossCircle(*circle, x, y);
        else if (const auto *ellipse = dynamic_cast<const CEllipse *>(&landmark))
            across = EdgeSnap::acrossEllipse(*ellipse, x, y);
    }
    return across ? EdgeSnap::snap(picture, x, y, *across)
                  : EdgeSnap::snapAcrossGradient(picture, x, y);
}

QPointF MainForm::placeOnEdge(const PointLandmark &landmark, double x, double y, QString &whyNot)
{
    whyNot.clear();
    if (!m_SnapToEdge->isChecked() || (pictureModifiers & Qt::ShiftModifier) || !Bitmap
        || !Bitmap->loadedPixels())
        return {x, y};
    const EdgeSnap::Result result = snapToEdge(landmark, x, y);
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
    const auto placedExactly = [&exact](const CPoint *point) {
        return std::any_of(exact.begin(), exact.end(),
            [point](const std::weak_ptr<CPoint> &held) { return held.lock().get() == point; });
    };
    // Every point is searched across the same fit, so the order of the points does not matter.
    std::vector<std::pair<CPoint *, EdgeSnap::Result>> found;
    int refused = 0;
    for (const auto &point : landmark.points) {
        if (placedExactly(point.get()))
            continue;
        const EdgeSnap::Result result = snapToEdge(landmark, point->x, point->y);
        if (result.outcome == EdgeSnap::Outcome::Snapped)
            found.emplace_back(point.get(), result);
        else
            ++refused;
    }
    if (!found.empty()) {
        std::vector<std::pair<double, double>> before;
        for (const auto &[point, result] : found) {
            before.emplace_back(point->x, point->y);
            point->change(result.x, result.y);
        }
        QString whyNot;
        if (!fitLandmark(landmark, whyNot)) {
            // The snapped points no longer determine the shape: the first fit stands, with the
            // points it was made from.
            for (std::size_t i = 0; i < found.size(); ++i)
                found[i].first->change(before[i].first, before[i].second);
            fitLandmark(landmark, whyNot);
            return "Snap to Edge: the snapped points gave no fit \u2013 the points stay where "
                   "they were clicked";
        }
    }
    if (refused == 0)
        return {};
    return QString("Snap to Edge: %1 of %2 points found no edge across the fit and stay where "
                   "they were clicked")
        .arg(refused)
        .arg(landmark.points.size());
}
