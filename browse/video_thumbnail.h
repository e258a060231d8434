// The arithmetic of a video thumbnail: the side of the video mark and the duration label.
#pragma once

#include <string>

// Side of the video mark on a picture of w × h: 80, or the smaller side minus 4 where the
// picture is narrower or lower than 80 (never below 1).
int videoMarkSide(int w, int h);

// The duration label "hh : mm : ss" (each field right-aligned in two characters): the length
// the file's index gives when it is known (>= 0), since header fields can be wrong; else from
// the frame count and frame rate the capture reports; where either is unusable (a rate of 0,
// an unknown count) the container's own duration in seconds when it is known (>= 0); else "--".
std::string durationLabel(long long frameCount, int fps, double containerSeconds,
                          double indexedSeconds = -1);

// The duration an AVI (main header) or QuickTime/MP4 file (movie header) states, in
// seconds; -1 when the file is of another kind, damaged, or does not say.
double containerDurationSeconds(const std::string& path);
