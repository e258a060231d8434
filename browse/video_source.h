// A video file read frame by frame for the player: the capture library's file reader with
// the reported stream facts kept apart from what was actually decoded.
#pragma once

#include <opencv2/core/mat.hpp>

#include <memory>
#include <string>

namespace cv
{
class VideoCapture;
}

class VideoSource
{
public:
    VideoSource();
    ~VideoSource();
    VideoSource(const VideoSource&) = delete;
    VideoSource& operator=(const VideoSource&) = delete;

    // Opens a file (UTF-8 path); false, with nothing open, when it cannot be read as video.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return m_capture != nullptr; }

    // Frame count and rate as the container reports them (may be 0 or nonsense).
    double reportedFrameCount() const { return m_count; }
    double reportedFrameRate() const { return m_rate; }

    // Decodes the next frame into out (one decode, one copy); false at the end of the file
    // or when the file can no longer be read, leaving out as it was.
    bool read(cv::Mat& out);
    // Makes frame the next one read; false when the file refuses.
    bool seek(int frame);
    // Presentation time of the frame read last, in ms; negative when the file has no clock.
    double clockMs() const { return m_clockMs; }
    // Frames read since opening.
    long decodes() const { return m_decodes; }

private:
    bool restartAt(int frame);

    std::unique_ptr<cv::VideoCapture> m_capture;
    std::string m_path;
    cv::Mat m_spare;
    double m_count = 0, m_rate = 0;
    double m_clockMs = -1;
    long m_decodes = 0;
};
