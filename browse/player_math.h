// The player's arithmetic: stream facts made safe to divide by, the time label's text, the
// bar's fill and seek positions, and where the strip's controls go. No toolkit needed.
#pragma once

#include "app/skin_geometry.h"

#include <array>
#include <string>

// Frame counts and rates as a container reports them can be 0, negative, not a number or
// absurdly large (a damaged file, a stream without an index): those read as 0, unknown.
int plausibleFrameCount(double reported);
int plausibleFrameRate(double reported);

// Seconds shown for a frame position: by the frame rate when it is known, else by the
// container's clock (clockMs < 0: none), else 0.
int shownSeconds(int position, int frameRate, double clockMs);
// The frame a decoded picture's own time stamp names (clockMs x rate / 1000, rounded), for a
// picture read after asking for frame asked; -1 when it names none: the rate is unknown, or a
// stamp of 0 past the first frame, which is how the capture library reports a missing one.
int stampedFrame(double clockMs, double rate, int asked);
// "%2d : %2d : %2d" of hours, minutes and seconds.
std::string timeText(int seconds);

// Fill width of a bar width pixels wide at frame of total; 0 while the total is unknown.
int fillWidth(int frame, int total, int width);
// The frame a bar position x (bar coordinates) asks for: x * total / width inside the bar,
// the last frame at or right of its end, frame 0 left of it; 0 while the total is unknown.
int frameAtX(int x, int total, int width);

// The player strip of W4 x H4 placed at (x, y); quantities scale only below 652 x 108.
struct PlayerGeometry {
    SkinRect label;                  // time label
    SkinRect bar;                    // progress bar
    std::array<SkinRect, 3> buttons; // play, pause, stop
    int labelRight = 0, labelBottom = 0;
};
PlayerGeometry playerGeometry(int stripW, int stripH, int x, int y);
