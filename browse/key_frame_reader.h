// The key frame at or before a position of a video file, decoded on its own. While the bar is
// dragged the picture follows with one decode per move, where an exact seek decodes the whole
// run from the key frame to the frame asked for; the exact frame is sought on release.
#pragma once

#include <opencv2/core/mat.hpp>

#include <memory>
#include <string>

class KeyFrameReader
{
public:
    KeyFrameReader();
    ~KeyFrameReader();
    KeyFrameReader(const KeyFrameReader&) = delete;
    KeyFrameReader& operator=(const KeyFrameReader&) = delete;

    // Opens a file (UTF-8 path); false, with nothing open, when it has no video stream the
    // reader can decode.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return m_impl != nullptr; }

    // Decodes the key frame at or before frame into out as BGR and returns its index; -1,
    // leaving out as it was, when the file gives none (damaged, cut short, a picture format
    // it does not convert). Frames are counted by the stream's own rate from its start.
    int read(int frame, cv::Mat& out);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
