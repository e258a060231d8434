#include "pipeline/time_stamp.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdint>
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

double stampScale(cv::Size frame)
{
    return frame.width == frame.height ? 0.5 : 1.0;
}

double stampScale(const cv::Mat& frame)
{
    return stampScale(frame.size());
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

void drawTimeStampOnPicture(cv::Mat& picture, const std::string& text, cv::Size frame)
{
    if (picture.empty() || picture.type() != CV_8UC3 || text.empty() || frame.width < 1 ||
        frame.height < 1)
        return;
    const double sx = static_cast<double>(picture.cols) / frame.width;
    const double sy = static_cast<double>(picture.rows) / frame.height;
    const double scale = stampScale(frame);
    int baseline = 0;
    const cv::Size size = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline);
    // The text's coverage at the frame's own resolution, as the frame would get it...
    const int margin = 3;
    const cv::Rect box(16 - margin, frame.height - 2 * size.height - 8 - margin,
                       size.width + 2 * margin, size.height + baseline + 2 * margin);
    cv::Mat coverage(box.size(), CV_8UC1, cv::Scalar(0));
    cv::putText(coverage, text, cv::Point(margin, size.height + margin), cv::FONT_HERSHEY_SIMPLEX,
                scale, cv::Scalar(255), 1, cv::LINE_AA);
    // ...averaged down to the painted scale, as the fit averages the stamped frame.
    const cv::Rect target(static_cast<int>(box.x * sx), static_cast<int>(box.y * sy),
                          std::max(1, static_cast<int>(box.width * sx + 0.5)),
                          std::max(1, static_cast<int>(box.height * sy + 0.5)));
    cv::Mat alpha;
    cv::resize(coverage, alpha, target.size(), 0, 0, cv::INTER_AREA);
    const cv::Rect inside = target & cv::Rect(0, 0, picture.cols, picture.rows);
    for (int y = inside.y; y < inside.y + inside.height; ++y) {
        const uint8_t* a = alpha.ptr<uint8_t>(y - target.y) + (inside.x - target.x);
        uint8_t* p = picture.ptr<uint8_t>(y) + inside.x * 3;
        for (int x = 0; x < inside.width; ++x, p += 3) {
            const int k = a[x];
            // Red in the picture's RGB order.
            p[0] = static_cast<uint8_t>((255 * k + p[0] * (255 - k) + 127) / 255);
            p[1] = static_cast<uint8_t>((p[1] * (255 - k) + 127) / 255);
            p[2] = static_cast<uint8_t>((p[2] * (255 - k) + 127) / 255);
        }
    }
}
