// The capture date and time burnt into the bottom-left corner of the picture, in red.
#pragma once

#include "platform/clock.h"

#include <opencv2/core/mat.hpp>

#include <string>

// The text for a TIMESTAMP setting: 2 month first, 3 day first, any other non-zero value
// year first; empty for 0.
std::string stampText(const platform::LocalTime& t, int setting);

// Hershey simplex (half size on square frames), anti-aliased, baseline-left at
// (16, height - text height - 8).
void drawTimeStamp(cv::Mat& frame, const std::string& text);

// Font scale for a frame: square frames get the half-size font.
double stampScale(const cv::Mat& frame);
double stampScale(cv::Size frame);

// The same stamp drawn straight into the painted RGB picture of a frame of frameSize, scaled
// as the fit scales the frame: what the painted picture of the stamped frame shows.
void drawTimeStampOnPicture(cv::Mat& rgbPicture, const std::string& text, cv::Size frameSize);
