#pragma once

#include <cstdint>

#include "core/model/COxel.h"

// What the picture's mouse is doing: the window's one state machine. The numbers are fixed:
// a line being dragged has the mode of the hit code that took hold of it (1 to 14), and each
// landmark's point drag is its collection mode + 1.
enum class ToolMode : std::int16_t {
    Idle = 0,
    DragBaseP0 = 1,
    DragBaseP1 = 2,
    // 3 to 12: the whole Base-Line, H-M-Line, Top-Line, Left-Line, V-M-Line, F-Line,
    // Right-Line, Cross-H-Line, Cross-V-Line and Ruler-Line moved parallel.
    DragBaseLine = 3,
    DragRuler = 12,
    DragRulerP0 = 13,
    DragRulerP1 = 14,
    CalibFirst = 21,
    CalibSecond = 22,
    DistanceWaiting = 25,
    DistanceDragging = 26,
    ZoomByClick = 90,
    CollectHead = 100,
    DragHeadPoint = 101,
    CollectCup = 200,
    DragCupPoint = 201,
    CollectRim = 300,
    DragRimPoint = 301,
};

// The mode of a drag of the line or end point a hit code names.
constexpr ToolMode dragModeOf(HitCode code)
{
    return static_cast<ToolMode>(static_cast<std::int16_t>(code));
}

// A line or one of its end points follows the mouse (modes 1 to 14).
constexpr bool isLineDrag(ToolMode mode)
{
    return mode >= ToolMode::DragBaseP0 && mode <= ToolMode::DragRulerP1;
}

// A whole line moves parallel (modes 3 to 12).
constexpr bool isParallelDrag(ToolMode mode)
{
    return mode >= ToolMode::DragBaseLine && mode <= ToolMode::DragRuler;
}

// Collecting the points of a landmark (modes 100, 200, 300).
constexpr bool isCollecting(ToolMode mode)
{
    return mode == ToolMode::CollectHead || mode == ToolMode::CollectCup
        || mode == ToolMode::CollectRim;
}

// One point of a landmark follows the mouse (modes 101, 201, 301).
constexpr bool isPointDrag(ToolMode mode)
{
    return mode == ToolMode::DragHeadPoint || mode == ToolMode::DragCupPoint
        || mode == ToolMode::DragRimPoint;
}

// The three landmark tools: the mode that collects a landmark's points, the mode that drags
// one of them, what the status line asks for when collecting starts, and the points' name in
// the drag prompt. In the order of the measurement's landmarks(): head, cup, rim.
struct LandmarkTool
{
    ToolMode collect;
    ToolMode drag;
    const char *prompt;
    const char *pointName;
};

inline constexpr LandmarkTool kLandmarkTools[] = {
    {ToolMode::CollectHead, ToolMode::DragHeadPoint, "enter at last 3 points for circle",
        "HeadPoint"},
    {ToolMode::CollectCup, ToolMode::DragCupPoint, "enter exact 3 or at last 5 points for ellipse",
        "CupPoint"},
    {ToolMode::CollectRim, ToolMode::DragRimPoint, "enter exact 3 or at least 5 points for ellipse",
        "RimPoint"},
};
