#include "cli/Refine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>

#include <QFile>

#include "cli/CommandLine.h"
#include "core/image/CBitmap.h"
#include "core/image/EdgeSnap.h"
#include "core/image/LandmarkSnap.h"
#include "core/model/CCircle.h"
#include "core/model/CEllipse.h"
#include "core/model/COxel.h"
#include "core/model/Messages.h"
#include "core/records/BinFile.h"
#include "ui/PictureLoader.h"

namespace CommandLine {

namespace {

// The edge finder places a point to a few hundredths of a pixel: a landmark whose points all
// move less than this is on its outline already and keeps its stored points, so that refining
// a refined file changes nothing.
constexpr double kSettled = 0.1;

// Holds the fit's boxes so that they end up in the landmark's line rather than between the
// lines of the report.
class HeldMessages final : public Messages
{
public:
    MessageAnswer message(const std::string &text, const std::string &title, MessageIcon,
        MessageButtons buttons) override
    {
        std::string said = title + ": " + text;
        std::replace(said.begin(), said.end(), '\n', ' ');
        held += (held.empty() ? "" : "; ") + said;
        return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel
            ? MessageAnswer::Yes
            : MessageAnswer::Ok;
    }

    std::optional<std::string> input(
        const std::string &, const std::string &, const std::string &) override
    {
        return std::nullopt;
    }

    // " (what the fit said)", or nothing when it said nothing.
    std::string aside() const { return held.empty() ? "" : " (" + held + ")"; }

private:
    std::string held;
};

std::string fixed(double value)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// A fitted landmark's centre and size: the radius of a circle, the half axes of a rim.
struct Shape
{
    double x = 0.0, y = 0.0;
    double first = 0.0, second = 0.0;
    bool ellipse = false;
};

Shape shapeOf(const PointLandmark &landmark)
{
    if (const auto *rim = dynamic_cast<const CEllipse *>(&landmark))
        return {rim->M0.x, rim->M0.y, rim->a, rim->b, true};
    const auto &circle = dynamic_cast<const CCircle &>(landmark);
    return {circle.M.x, circle.M.y, circle.r, circle.r, false};
}

std::string changeText(const Shape &before, const Shape &after)
{
    const std::string size = before.ellipse
        ? "half axes " + fixed(before.first) + " x " + fixed(before.second) + " -> "
            + fixed(after.first) + " x " + fixed(after.second) + " px"
        : "radius " + fixed(before.first) + " -> " + fixed(after.first) + " px";
    return size + ", centre moved " + fixed(std::hypot(after.x - before.x, after.y - before.y))
        + " px";
}

// "2 found no edge (no edge near the click: 1, the search leaves the picture: 1)"
std::string refusalText(const LandmarkSnap::Report &report)
{
    std::string reasons;
    for (const EdgeSnap::Outcome outcome : {EdgeSnap::Outcome::NoEdge,
             EdgeSnap::Outcome::CompetingEdges, EdgeSnap::Outcome::LeavesPicture}) {
        const auto count = std::count_if(report.searched.begin(), report.searched.end(),
            [outcome](const LandmarkSnap::PointMove &move) { return move.outcome == outcome; });
        if (count > 0)
            reasons += (reasons.empty() ? "" : ", ") + std::string(EdgeSnap::reasonText(outcome))
                + ": " + std::to_string(count);
    }
    return std::to_string(report.refused) + " found no edge (" + reasons + ")";
}

enum class Refined {
    Skipped, // no points or no fit to search across
    Settled, // on the outline already, the points as stored
    Moved,
    Refused, // no point found its edge, or the snapped points gave no fit
};

struct LandmarkOutcome
{
    Refined refined = Refined::Skipped;
    std::string line;
};

LandmarkOutcome refineLandmark(const EdgeSnap::GreyView &picture, PointLandmark &landmark)
{
    const std::size_t count = landmark.points.size();
    if (count == 0)
        return {Refined::Skipped, "no points, skipped"};
    if (!landmark.Valid)
        return {Refined::Skipped, std::to_string(count) + " points but no fit, skipped"};

    const Shape before = shapeOf(landmark);
    HeldMessages fitSaid;
    const ScopedMessages held(fitSaid);
    const LandmarkSnap::Report report = LandmarkSnap::snapAcrossFit(picture, landmark);
    std::string line =
        std::to_string(report.snapped) + " of " + std::to_string(count) + " points snapped";
    if (report.refused > 0)
        line += ", " + refusalText(report);
    if (report.snapped == 0)
        return {Refined::Refused, line + "; the points stay as stored"};
    if (!report.refitted)
        return {Refined::Refused,
            line + "; the snapped points gave no fit" + fitSaid.aside()
                + ", the points stay as stored"};

    line += ", moved " + fixed(report.rmsMove()) + " px rms, " + fixed(report.largestMove())
        + " px at most";
    if (report.largestMove() < kSettled) {
        for (const LandmarkSnap::PointMove &move : report.searched)
            landmark.points[move.index]->change(move.fromX, move.fromY);
        landmark.fit(); // the stored points determined this fit before
        return {Refined::Settled, line + "; on the outline already, the points stay as stored"};
    }
    return {Refined::Moved, line + "; " + changeText(before, shapeOf(landmark)) + fitSaid.aside()};
}

int refinePicture(const std::string &picture, bool dryRun, std::ostream &out)
{
    const std::string landmarkFile = BinFile::landmarkPath(picture);
    COxel oxel;
    if (!readLandmarkFile(picture, landmarkFile, oxel))
        return kFileError;
    std::string error;
    const std::unique_ptr<CBitmap> bitmap =
        PictureLoader::load(QFile::decodeName(picture.c_str()), error);
    if (!bitmap) {
        showMessage("load Error: " + error, "Error", MessageIcon::Critical);
        return kFileError;
    }
    if (!bitmap->loadedPixels() || bitmap->W != oxel.WPixel || bitmap->H != oxel.HPixel) {
        showMessage("load Error: " + picture + " decodes to another size than its header gives",
            "Error", MessageIcon::Critical);
        return kFileError;
    }
    // The pixels the window searches too: those it loaded, before any sharpening moved edges.
    const EdgeSnap::GreyView view = EdgeSnap::GreyView::bottomUp(
        bitmap->loadedPixels(), bitmap->W, bitmap->H, bitmap->stride());

    int status = kDone;
    bool fitted = false, moved = false;
    for (const auto &[name, landmark] :
        {std::pair<const char *, PointLandmark *>{"head", &oxel.Head}, {"cup", &oxel.Cup},
            {"rim", &oxel.Rim}}) {
        const LandmarkOutcome outcome = refineLandmark(view, *landmark);
        out << picture << ": " << name << ": " << outcome.line << '\n';
        fitted = fitted || outcome.refined != Refined::Skipped;
        moved = moved || outcome.refined == Refined::Moved;
        if (outcome.refined == Refined::Refused)
            status = kRefused;
    }
    if (!fitted) {
        out << picture << ": no fitted head, cup or rim to refine\n";
        return kRefused;
    }
    if (!moved) {
        out << picture << ": nothing moved, " << landmarkFile << " left as it was\n";
        return status;
    }
    if (dryRun) {
        out << picture << ": dry run, " << landmarkFile << " not written\n";
        return status;
    }
    if (!BinFile::write(landmarkFile, oxel, &error)) {
        out << picture << ": " << landmarkFile << " not written\n";
        showMessage(
            "could not write " + landmarkFile + ": " + error, "Oxel Error", MessageIcon::Critical);
        return kFileError;
    }
    out << picture << ": written to " << landmarkFile << '\n';
    return status;
}

} // namespace

int refinePictures(const std::vector<std::string> &pictures, bool dryRun, std::ostream &out)
{
    int worst = kDone;
    for (const std::string &picture : pictures) {
        worst = std::max(worst, refinePicture(picture, dryRun, out));
        out.flush();
    }
    return out ? worst : kFileError;
}

} // namespace CommandLine
