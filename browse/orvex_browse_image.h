// One thumbnail slot of the strip: a photo, the first frame of a video, or nothing.
#pragma once

#include "app/skin_bitmap.h"
#include "browse/media_catalogue.h"

#include <wx/image.h>

#include <opencv2/core/mat.hpp>

#include <memory>
#include <string>

namespace cv
{
class VideoCapture;
}

class COrvexBrowseImage : public SkinBitmap
{
public:
    COrvexBrowseImage(const wxSize& size, wxWindow* parent, wxWindowID id, const wxPoint& pos);
    ~COrvexBrowseImage() override;

    void clearSlot();
    void renderPhoto();
    // Opens the video as this slot's capture (kept open while the slot shows it) and
    // renders its first frame; under the All filter (showMark) with the video mark, else
    // with its duration.
    void loadVideo(const std::string& path, bool showMark);
    void renderVideoFrame();
    void redraw();
    // Lets go of the video file (before it is deleted or another file takes the slot).
    void closeCapture();
    bool captureOpen() const;

    // The text drawn under the Video filter (tests look at it).
    const std::string& durationText() const { return m_durationText; }
    const wxBitmap& thumbnail() const { return m_thumbnail; }

    SlotKind kind = SlotEmpty;
    wxImage photo;
    bool showIcon = false;
    bool selected = false;
    const int border = 4;

private:
    wxSize pictureSize() const;

    std::unique_ptr<cv::VideoCapture> m_capture;
    std::string m_videoPath;
    bool m_refused = false; // the video is beyond the frame budget
    cv::Mat m_lastFrame;    // of the open video, for a later layout after its last frame
    wxBitmap m_thumbnail;
    std::string m_durationText;
};

// A BGR picture as a toolkit image (RGB copy).
wxImage imageFromBgr(const cv::Mat& bgr);
