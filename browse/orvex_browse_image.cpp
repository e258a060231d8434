#include "browse/orvex_browse_image.h"

#include "app/data_files.h"
#include "browse/video_budget.h"
#include "browse/video_length.h"
#include "browse/video_thumbnail.h"
#include "pipeline/display_picture.h"

#include <wx/dcmemory.h>
#include <wx/log.h>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cstring>
#include <map>
#include <utility>

namespace
{

wxImage blackImage(wxSize s)
{
    wxImage img(std::max(s.x, 1), std::max(s.y, 1), true);
    return img;
}

wxBitmap blankBitmap(wxSize s)
{
    return blackBitmap(s.x, s.y);
}

// The video mark at s × s with black as its mask. A page shows it on every video slot, so it
// is read and scaled once for each size and resource folder; a mark that cannot be loaded is
// tried again next time.
const wxImage* videoMark(int s)
{
    static std::map<std::pair<wxString, int>, wxImage> marks;
    auto key = std::make_pair(resourcePath("video.bmp"), s);
    auto it = marks.find(key);
    if (it == marks.end()) {
        const wxBitmap mark = loadSkinPicture("video.bmp", s, s);
        if (!mark.IsOk())
            return nullptr;
        wxImage icon = mark.ConvertToImage();
        icon.SetMaskColour(0, 0, 0);
        if (marks.size() >= 16) // a few layouts' sizes at most
            marks.clear();
        it = marks.emplace(std::move(key), std::move(icon)).first;
    }
    return &it->second;
}

// The video mark, s × s, black transparent, pasted centred.
void pasteVideoMark(wxImage& picture)
{
    const int w = picture.GetWidth(), h = picture.GetHeight();
    const int s = videoMarkSide(w, h);
    if (const wxImage* icon = videoMark(s))
        picture.Paste(*icon, (w - s) / 2, (h - s) / 2);
}

// The label in white, centred, with the largest point size from 14 down that fits.
void drawDuration(wxBitmap& bitmap, const wxString& text)
{
    wxMemoryDC dc(bitmap);
    wxFont font = dc.GetFont();
    if (!font.IsOk())
        font = *wxNORMAL_FONT;
    font.SetFaceName("arial");
    wxSize extent;
    for (int points = 14; points >= 1; --points) {
        font.SetPointSize(points);
        dc.SetFont(font);
        extent = dc.GetTextExtent(text);
        if (extent.x < bitmap.GetWidth() && extent.y < bitmap.GetHeight())
            break;
    }
    dc.SetTextForeground(wxColour(255, 255, 255));
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.DrawText(text, (bitmap.GetWidth() - extent.x) / 2, (bitmap.GetHeight() - extent.y) / 2);
    dc.SelectObject(wxNullBitmap);
}

} // namespace

wxImage imageFromBgr(const cv::Mat& bgr)
{
    if (bgr.empty() || bgr.type() != CV_8UC3)
        return {};
    wxImage img(bgr.cols, bgr.rows, false);
    cv::Mat rgb(bgr.rows, bgr.cols, CV_8UC3, img.GetData());
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    return img;
}

COrvexBrowseImage::COrvexBrowseImage(const wxSize& size, wxWindow* parent, wxWindowID id,
                                     const wxPoint& pos)
    : SkinBitmap(parent, id, blankBitmap(size), pos, size)
{
    SetBackgroundColour(*wxBLACK);
    m_thumbnail = blankBitmap(size - wxSize(border, border));
}

COrvexBrowseImage::~COrvexBrowseImage() = default;

wxSize COrvexBrowseImage::pictureSize() const
{
    const wxSize s = GetSize();
    return wxSize(std::max(s.x - border, 1), std::max(s.y - border, 1));
}

void COrvexBrowseImage::closeCapture()
{
    m_capture.reset();
    m_lastFrame.release();
    m_videoPath.clear();
    m_refused = false;
}

bool COrvexBrowseImage::captureOpen() const
{
    return m_capture && m_capture->isOpened();
}

void COrvexBrowseImage::clearSlot()
{
    kind = SlotEmpty;
    showIcon = false;
    selected = false;
    closeCapture();
    photo.Destroy();
    m_durationText.clear();
    // Blank for good: a later redraw (selection moving off it) must not bring back the
    // picture of the file that left.
    m_thumbnail = blankBitmap(pictureSize());
    redraw();
}

void COrvexBrowseImage::renderPhoto()
{
    const wxSize p = pictureSize();
    // A photo that could not be decoded shows blank, never the slot's previous picture.
    m_thumbnail =
        photo.IsOk() ? wxBitmap(photo.Scale(p.x, p.y, wxIMAGE_QUALITY_NORMAL)) : blankBitmap(p);
    redraw();
}

void COrvexBrowseImage::loadVideo(const std::string& path, bool showMark)
{
    kind = SlotVideo;
    showIcon = showMark;
    closeCapture();
    photo.Destroy();
    m_videoPath = path;
    // A video beyond the frame budget is never opened: the slot stays blank.
    m_refused = !videoWithinBudget(path);
    if (!m_refused) {
        wxLogNull quiet;
        try {
            m_capture = std::make_unique<cv::VideoCapture>(path, cv::CAP_FFMPEG);
        } catch (const cv::Exception&) {
            m_capture.reset();
        }
    }
    if (m_capture && !m_capture->isOpened())
        m_capture.reset();
    renderVideoFrame();
}

void COrvexBrowseImage::renderVideoFrame()
{
    long long frames = 0;
    int fps = 0;
    if (m_capture) {
        cv::Mat frame;
        try {
            if (m_capture->grab() && m_capture->retrieve(frame) && !frame.empty() &&
                frame.type() == CV_8UC3)
                m_lastFrame = frame.clone();
        } catch (const cv::Exception&) {
        }
        const double count = m_capture->get(cv::CAP_PROP_FRAME_COUNT);
        const double rate = m_capture->get(cv::CAP_PROP_FPS);
        // Truncated to integers; readings out of range count as unknown.
        frames = count > 0 && count < 1e15 ? static_cast<long long>(count) : 0;
        fps = rate > 0 && rate < 1e6 ? static_cast<int>(rate) : 0;
    }

    const wxSize p = pictureSize();
    wxImage picture;
    if (!m_lastFrame.empty()) {
        picture = wxImage(p.x, p.y, false);
        fitToRgb(m_lastFrame, p.x, p.y, picture.GetData());
    } else {
        // Not openable or not decodable: blank, never the previous file's picture.
        picture = blackImage(p);
    }
    if (showIcon)
        pasteVideoMark(picture);
    m_thumbnail = wxBitmap(picture);
    if (!showIcon) {
        const double container =
            (frames > 0 && fps > 0) || m_refused ? -1 : containerDurationSeconds(m_videoPath);
        const double indexed = m_refused ? -1 : indexedLength(m_videoPath).seconds;
        m_durationText = durationLabel(frames, fps, container, indexed);
        drawDuration(m_thumbnail, wxString::FromUTF8(m_durationText));
    } else {
        m_durationText.clear();
    }
    redraw();
}

void COrvexBrowseImage::redraw()
{
    const wxSize s = GetSize();
    wxBitmap full = blankBitmap(s);
    {
        wxMemoryDC dc(full);
        dc.SetBackground(*wxBLACK_BRUSH);
        dc.Clear();
        if (m_thumbnail.IsOk())
            dc.DrawBitmap(m_thumbnail, border / 2, border / 2, false);
        if (selected) {
            dc.SetPen(wxPen(*wxYELLOW, 8));
            dc.SetBrush(*wxTRANSPARENT_BRUSH);
            dc.DrawRectangle(0, 0, s.x, s.y);
        }
        dc.SelectObject(wxNullBitmap);
    }
    show(full);
}
