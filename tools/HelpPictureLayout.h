#pragma once

// Where the help picture drags each setting's Base-Line, and the colours its grid is drawn in.
// The tool that draws the picture builds the grid from these base lines with the program's own
// construction, and the test that checks the picture builds it the same way, so neither can
// drift from what the program draws.

#include <array>
#include <cstdint>

namespace HelpPicture {

inline constexpr int Width = 992;
inline constexpr int Height = 220;

// One half of the picture: a pelvis with one replaced hip and the Base-Line dragged along the
// pelvis's lower landmark, from (X0, Y0) to (x1, y1) in picture pixels. Whole pixel
// coordinates keep the 2-pixel lines on whole pixel rows and columns.
struct Panel
{
    double left;
    double width;
    bool leftHip;
    double X0, Y0, x1, y1;
};

// The base line's length, which is also the side of the grid's square.
inline constexpr double Side = 98;
inline constexpr double PanelWidth = Width / 2.0;
// Where the square lies across each panel, counted from the panel's left edge.
inline constexpr double SquareLeft = 280;

inline constexpr std::array<Panel, 2> Panels{{
    // Left hip: dragged from left to right, so the grid stands above the Base-Line.
    {0, PanelWidth, true, SquareLeft, 118, SquareLeft + Side, 118},
    // Right hip: dragged from right to left, so the grid hangs below it. The pelvis still
    // stands on it, so the Base-Line lies higher in this half.
    {PanelWidth, PanelWidth, false, PanelWidth + SquareLeft + Side, 104, PanelWidth + SquareLeft,
        104},
}};

// 0xRRGGBB: the grid lines, and the F-Line that the side of the hip depends on.
inline constexpr std::uint32_t GridRgb = 0x1b2430;
inline constexpr std::uint32_t FLineRgb = 0x9e1b24;

} // namespace HelpPicture
