#include "pipeline/time_stamp.h"

#include <opencv2/imgproc.hpp>

#include <cstdio>

std::string stampText(const platform::LocalTime& t, int setting)
{
    if (setting == 0)
        return std::string();
    char text[64];
    if (setting == 2)
        std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", t.month, t.day, t.year,
                      t.hour, t.minute, t.second);
    else if (setting == 3)
        std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", t.day, t.month, t.year,
                      t.hour, t.minute, t.second);
    else
        std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
    return text;
}

double stampScale(const cv::Mat& frame)
{
    return frame.cols == frame.rows ? 0.5 : 1.0;
}

void drawTimeStamp(cv::Mat& frame, const std::string& text)
{
    if (frame.empty() || text.empty())
        return;
    const double scale = stampScale(frame);
    int baseline = 0;
    const cv::Size size = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline);
    cv::putText(frame, text, cv::Point(16, frame.rows - size.height - 8), cv::FONT_HERSHEY_SIMPLEX,
                scale, cv::Scalar(0, 0, 255), 1, cv::LINE_AA);
}
