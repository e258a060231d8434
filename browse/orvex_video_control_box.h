// The video player below the picture: time label, progress bar and the play, pause and stop
// buttons. It does not paint the video; the screen's pass asks it for one frame at a time.
#pragma once

#include "app/window_ids.h"
#include "browse/key_frame_reader.h"
#include "browse/video_source.h"

#include <wx/bitmap.h>
#include <wx/window.h>

#include <opencv2/core/mat.hpp>

#include <string>

class SkinBitmap;
class COrvexProgressBar;
class wxMouseCaptureLostEvent;

enum PlayState { PlayNone = 0, PlayPlaying = 1, PlayPaused = 2 };

class COrvexVideoControlBox : public wxWindow
{
public:
    COrvexVideoControlBox(wxWindow* parent, const wxPoint& origin, const wxSize& size);
    ~COrvexVideoControlBox() override;

    // Opens a file and shows its first frame, paused. Path in UTF-8.
    void openVideo(const std::string& path);
    // The frame to show now (advances one frame while playing); null before any was read.
    cv::Mat* nextFrame();
    void play();
    void pause();
    void stop();
    // Closes the file and drops the frame (before the file is deleted).
    void closeVideo();

    void showPlayerControls();
    void hidePlayerControls();
    void layoutPlayer(const wxBitmap& strip, int x, int y);

    bool visible = false;

    int playState() const { return m_playState; }
    int position() const { return m_position; }
    int frameCount() const { return m_frameCount; }
    int frameRate() const { return m_frameRate; }
    bool dragging() const { return m_dragging; }
    bool hasVideo() const { return m_source.isOpen(); }
    const cv::Mat& frameCopy() const { return m_frame; }
    const VideoSource& source() const { return m_source; }
    // The label's text as drawn last.
    const std::string& timeShown() const { return m_timeShown; }
    SkinBitmap* timeLabel() const { return m_timeLabel; }
    COrvexProgressBar* progressBar() const { return m_bar; }
    SkinBitmap* button(int id) const;
    bool playOn() const { return m_playOn; }
    bool pauseOn() const { return m_pauseOn; }

private:
    void setPlayState(int s);
    void showButtonPictures();
    void drawTime();
    // Seeks to frame i and shows it; the next frame read is i + 1. Where the file has no frame
    // there (cut short), the picture stays; either way the bar and time follow the picture.
    void seekTo(int i);
    // A file that ended before its header's count: what was found is its length.
    void endedEarly();
    // While dragging: shows the key frame at or before i, the bar and time at i; false when
    // the file gives no key frame that way.
    bool scrubTo(int i);
    // The exact frame of the last key frame shown, when one was.
    void landScrub();
    void loadPictures(int w, int h);
    void onControlDown(wxMouseEvent& event);
    void onControlUp(wxMouseEvent& event);
    void onMotion(wxMouseEvent& event);
    void onCaptureLost(wxMouseCaptureLostEvent& event);
    void endDrag();

    wxBitmap m_pictures[5]; // play off/on, pause off/on, stop off
    SkinBitmap* m_stop = nullptr;
    SkinBitmap* m_play = nullptr;
    SkinBitmap* m_pause = nullptr;
    wxBitmap m_labelBackground;
    SkinBitmap* m_timeLabel = nullptr;
    COrvexProgressBar* m_bar = nullptr;
    VideoSource m_source;
    std::string m_path;
    KeyFrameReader m_keyFrames;
    bool m_keyFramesTried = false; // opened, or found unusable, for this file
    int m_scrubbedTo = -1;         // the frame a key frame stands in for
    cv::Mat m_frame;
    int m_shown = -1; // the frame in m_frame, by its own stamp where the file gives one
    int m_playState = PlayNone;
    int m_frameCount = 0;
    int m_frameRate = 30;
    int m_position = 0;
    bool m_dragging = false;
    bool m_playOn = false, m_pauseOn = false;
    int m_labelRight = 0, m_labelBottom = 0;
    std::string m_timeShown;
    bool m_labelStale = true; // the background changed since the text was drawn
};
