#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/model/CCircle.h"
#include "core/model/CEllipse.h"
#include "core/model/CLine.h"
#include "core/model/CPoint.h"
#include "core/records/CPatient.h"

// The picture width (mm) taken when nothing better is known: no landmark file, no calibration.
inline constexpr double kDefaultPictureWidthMm = 430.0;

// The measurement of one radiograph: its landmarks, scale, patient record and date.
//
// Three frames are involved. Picture coordinates: pixels, origin top left, y down; every
// landmark object holds these. World coordinates: mm, origin bottom left, y up; world x =
// picture x / ScaleFactor, world y = (HPixel - picture y) / ScaleFactor. Transformed
// coordinates: world coordinates moved to Center and turned so that (CosA, SinA) is the x axis.
class COxel
{
public:
    bool DatFlag = false; // the measurement carries patient data of its own
    bool Visible = false; // draw() draws the landmarks
    double ScaleFactor = 1.0; // picture pixels per mm; always finite and positive
    std::int16_t WPixel = 0;
    std::int16_t HPixel = 0;
    double CalibDist = 0.0; // true distance in mm between the two calibration points
    CLine CalibPoints; // picture coordinates; never drawn as a line
    double SinA = 0.0;
    double CosA = 0.0;
    CPoint Center; // world coordinates
    CLine H_B; // Base-Line
    CLine H_M; // H-M-Line, parallel to the base line at half height
    CLine H_T; // Top-Line, parallel to the base line at full height
    CLine V_L; // Left-Line, perpendicular at the first end of the base line
    CLine V_M; // V-M-Line, perpendicular at the middle, over the middle half of the height
    CLine V_F; // F-Line, perpendicular at three quarters of the base line
    CLine V_R; // Right-Line, perpendicular at the second end of the base line
    CLine Ruler;
    CLine Cross_H; // parallel to the base line
    CLine Cross_V; // perpendicular to the base line
    CCircle Head;
    CCircle Cup;
    CEllipse Rim;
    std::string Datum; // date text of the radiograph
    CPatient Patient;

    // The ten lines in the order in which the landmark file keeps them: H_B, H_M, H_T, V_L,
    // V_M, V_F, V_R, Ruler, Cross_H, Cross_V. The first seven are the grid.
    static constexpr std::size_t kLineCount = 10;
    static constexpr std::size_t kGridLineCount = 7;
    std::array<CLine *, kLineCount> lines();
    std::array<const CLine *, kLineCount> lines() const;
    // The operator's name of each line, in the same order: "Base-Line" to "Cross-V-Line".
    static const std::array<const char *, kLineCount> kLineNames;
    // The place in lines() of the line that a line hit code (isLineHit) takes hold of.
    static std::size_t lineIndex(HitCode code);
    // Head, Cup and Rim, in the order in which findMode asks them.
    std::array<PointLandmark *, 3> landmarks();
    std::array<const PointLandmark *, 3> landmarks() const;

    // Hands the surface to the ten lines and initialises the three landmarks with their hit
    // code bases (which makes them not Valid and their points visible).
    void setPicBox(DrawingSurface *surface);

    // True when all seven grid lines are confirmed; ruler, cross and landmarks do not count.
    bool Valid() const;
    // Grid lines, the landmarks, then the cross (when confirmed) and the ruler (when
    // confirmed); unconfirmed lines in color1, the rest in color2. Nothing unless Visible.
    void draw(std::uint32_t color1, std::uint32_t color2) const;

    // Builds the grid as the square on the base line (X0, Y0)-(x1, y1), picture coordinates,
    // and resets the ruler. Every line it sets is left not Valid.
    void init(double X0, double Y0, double x1, double y1);
    // init from the line's end points, then the base line counts as confirmed.
    void initFrom(const CLine &line);

    // Sets the picture size and ScaleFactor = WPix / W, W being the picture width in mm.
    // Refuses (false, nothing changed) a width W or WPix that is not positive, or any value
    // that would make the scale zero, infinite or NaN.
    bool initScale(std::int16_t WPix, std::int16_t HPix, double W);
    // Picture width in mm.
    double WorldWidth() const;
    double PixelX(double x) const; // world x to picture x
    double PixelY(double y) const; // world y to picture y
    // World x, y pairs to picture coordinates in place; an unpaired last value is left alone.
    void Pixel(std::span<double> values) const;
    double WorldX(double x) const; // picture x to world x
    double WorldY(double y) const; // picture y to world y
    // Picture coordinates to transformed coordinates, in place.
    void TransformP(CPoint &p) const;
    void TransformL(CLine &line) const;

    // Sets the scale from CalibPoints and CalibDist (set them first): ScaleFactor becomes the
    // points' pixel distance divided by CalibDist. Refuses (false, nothing changed)
    // coincident points and a distance that is not positive.
    bool Calibrate(std::int16_t PicW, std::int16_t PicH);

    // The hit code of the item at the picture point (x, y): landmark points first, then the
    // base line's end points, the grid lines, the cross and the ruler; Nothing for nothing.
    HitCode findMode(double x, double y) const;

private:
    DrawingSurface *surface = nullptr;
};
