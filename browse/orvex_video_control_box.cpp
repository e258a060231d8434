#include "browse/orvex_video_control_box.h"

#include "app/label_drawing.h"
#include "app/skin_bitmap.h"
#include "browse/orvex_progress_bar.h"
#include "browse/player_math.h"
#include "browse/video_length.h"
#include "pipeline/picture_settings.h"

#include <algorithm>

namespace
{
const char* const kPictureNames[5] = {"video_play_off.bmp", "video_play_on.bmp",
                                      "video_plause_off.bmp", "video_plause_on.bmp",
                                      "video_stop_off.bmp"};
enum Picture { PlayOff, PlayOn, PauseOff, PauseOn, StopOff };

wxSize atLeastOne(int w, int h)
{
    return wxSize(std::max(w, 1), std::max(h, 1));
}
} // namespace

COrvexVideoControlBox::COrvexVideoControlBox(wxWindow* parent, const wxPoint& origin,
                                             const wxSize& size)
    : wxWindow(parent, wxID_ANY, origin, size, 0, wxPanelNameStr)
{
    Hide();
    const int x = origin.x, y = origin.y;
    m_labelBackground = blackBitmap(72, 20);
    m_timeLabel =
        new SkinBitmap(parent, wxID_ANY, m_labelBackground, wxPoint(x + 8, y + 8), wxSize(72, 20));
    m_bar = new COrvexProgressBar(atLeastOne(size.x - 88, 16), parent, wxPoint(x + 88, y + 8));
    loadPictures(64, 64);
    m_play = new SkinBitmap(parent, ID_VIDEO_PLAY, m_pictures[PlayOff], wxPoint(x + 8, y + 40),
                            wxSize(64, 64));
    m_pause = new SkinBitmap(parent, ID_VIDEO_PAUSE, m_pictures[PauseOff], wxPoint(x + 80, y + 40),
                             wxSize(64, 64));
    m_stop = new SkinBitmap(parent, ID_VIDEO_STOP, m_pictures[StopOff], wxPoint(x + 152, y + 40),
                            wxSize(64, 64));
    for (wxWindow* w :
         std::initializer_list<wxWindow*>{m_timeLabel, m_bar, m_play, m_pause, m_stop}) {
        w->Bind(wxEVT_LEFT_DOWN, &COrvexVideoControlBox::onControlDown, this);
        w->Bind(wxEVT_LEFT_UP, &COrvexVideoControlBox::onControlUp, this);
        w->Bind(wxEVT_MOTION, &COrvexVideoControlBox::onMotion, this);
        w->Hide();
    }
    m_bar->Bind(wxEVT_MOUSE_CAPTURE_LOST, &COrvexVideoControlBox::onCaptureLost, this);
}

COrvexVideoControlBox::~COrvexVideoControlBox()
{
    if (m_bar->HasCapture())
        m_bar->ReleaseMouse();
    for (wxWindow* w :
         std::initializer_list<wxWindow*>{m_timeLabel, m_bar, m_play, m_pause, m_stop})
        w->Destroy();
}

void COrvexVideoControlBox::loadPictures(int w, int h)
{
    for (int i = 0; i < 5; ++i)
        m_pictures[i] = loadSkinPicture(kPictureNames[i], w, h);
}

SkinBitmap* COrvexVideoControlBox::button(int id) const
{
    switch (id) {
    case ID_VIDEO_PLAY:
        return m_play;
    case ID_VIDEO_PAUSE:
        return m_pause;
    case ID_VIDEO_STOP:
        return m_stop;
    default:
        return nullptr;
    }
}

// ---- The file ---------------------------------------------------------------------------

void COrvexVideoControlBox::openVideo(const std::string& path)
{
    closeVideo();
    m_source.open(path);
    m_path = path;
    m_frameRate = plausibleFrameRate(m_source.reportedFrameRate());
    // Without an index the reader works the count out from the duration and the rate, so a
    // nonsense rate makes the count nonsense too.
    m_frameCount = m_frameRate > 0 ? plausibleFrameCount(m_source.reportedFrameCount()) : 0;
    // The index knows how many frames are really there; a header field may be wrong.
    if (const IndexedLength real = indexedLength(path); real.frames > 0 && m_frameRate > 0)
        m_frameCount = plausibleFrameCount(double(real.frames));
    m_bar->total = m_frameCount;
    m_bar->width = m_bar->GetSize().x;
    stop();
}

void COrvexVideoControlBox::closeVideo()
{
    m_source.close();
    m_keyFrames.close();
    m_keyFramesTried = false;
    m_scrubbedTo = -1;
    m_path.clear();
    m_frame.release();
    m_shown = -1;
}

void COrvexVideoControlBox::stop()
{
    m_position = 0;
    m_scrubbedTo = -1;
    m_source.seek(0);
    m_bar->setPosition(0);
    drawTime();
    if (m_source.read(m_frame)) {
        m_position = 1;
        m_shown = 0;
    }
    pause();
}

void COrvexVideoControlBox::setPlayState(int s)
{
    m_playOn = m_pauseOn = false;
    m_playState = s;
    m_playOn = s == PlayPlaying;
    m_pauseOn = s == PlayPaused;
    showButtonPictures();
}

void COrvexVideoControlBox::play()
{
    setPlayState(PlayPlaying);
}

void COrvexVideoControlBox::pause()
{
    setPlayState(PlayPaused);
}

void COrvexVideoControlBox::showButtonPictures()
{
    m_play->show(m_pictures[m_playOn ? PlayOn : PlayOff]);
    m_pause->show(m_pictures[m_pauseOn ? PauseOn : PauseOff]);
}

cv::Mat* COrvexVideoControlBox::nextFrame()
{
    // A drag that ended unseen (the window lost the pointer) still lands on its frame.
    if (!m_dragging)
        landScrub();
    if (m_playState == PlayPlaying && !m_dragging) {
        const bool more = m_frameCount == 0 || m_position < m_frameCount;
        if (more && m_source.read(m_frame)) {
            const int stamped =
                stampedFrame(m_source.clockMs(), m_source.reportedFrameRate(), m_shown + 1);
            m_shown = stamped >= 0 ? stamped : m_shown + 1;
            // Full screen hides the strip: nothing is counted or drawn for it, and the end
            // shows itself as the read that finds no frame.
            if (!g_FullScreen) {
                ++m_position;
                m_bar->setPosition(m_position);
                drawTime();
            }
        } else {
            // The end, or a file that can no longer be read: the last frame stays.
            endedEarly();
            m_position = 0;
            m_source.seek(0);
            pause();
        }
    }
    return m_frame.empty() ? nullptr : &m_frame;
}

// ---- Time label ---------------------------------------------------------------------------

void COrvexVideoControlBox::drawTime()
{
    const int seconds =
        m_position > 0 ? shownSeconds(m_position, m_frameRate, m_source.clockMs()) : 0;
    std::string text = timeText(seconds);
    // The text changes once a second; fitting the font anew on every pass costs more than
    // decoding a frame.
    if (text == m_timeShown && !m_labelStale)
        return;
    m_timeShown = std::move(text);
    m_labelStale = false;
    wxBitmap picture = copyBitmap(m_labelBackground);
    drawFittedText(picture, wxString::FromUTF8(m_timeShown), 12, wxColour(255, 255, 255));
    m_timeLabel->show(picture);
}

// ---- Mouse ---------------------------------------------------------------------------------

void COrvexVideoControlBox::endedEarly()
{
    if (m_frameCount <= 0 || m_shown < 0 || m_shown + 1 >= m_frameCount)
        return;
    m_frameCount = m_shown + 1;
    m_bar->total = m_frameCount;
    if (!g_FullScreen)
        m_bar->setPosition(m_position);
}

void COrvexVideoControlBox::seekTo(int i)
{
    m_scrubbedTo = -1;
    m_source.seek(i);
    // Past the end of a file cut short there is no picture, or one that is not frame i: its
    // own stamp, where it has one, says which frame it is.
    cv::Mat picture;
    int got = -1;
    if (m_source.read(picture)) {
        const int stamped = stampedFrame(m_source.clockMs(), m_source.reportedFrameRate(), i);
        got = stamped >= 0 ? stamped : i;
    }
    if (got >= 0) {
        m_frame = picture;
        m_shown = got;
    } else if (m_shown >= 0) {
        m_source.seek(m_shown + 1); // play goes on after the picture that stayed
    } else {
        m_position = i + 1;
        return;
    }
    if (m_shown != i)
        m_bar->setPosition(m_shown);
    m_position = m_shown;
    drawTime();
    m_position = m_shown + 1;
}

bool COrvexVideoControlBox::scrubTo(int i)
{
    if (!m_keyFramesTried) {
        m_keyFramesTried = true;
        m_keyFrames.open(m_path);
    }
    const int key = m_keyFrames.read(i, m_frame);
    if (key < 0)
        return false;
    m_shown = key;
    m_position = i;
    drawTime();
    m_position = i + 1;
    m_scrubbedTo = i;
    return true;
}

void COrvexVideoControlBox::landScrub()
{
    if (m_scrubbedTo < 0)
        return;
    const int i = m_scrubbedTo;
    m_scrubbedTo = -1;
    seekTo(i);
}

void COrvexVideoControlBox::onControlDown(wxMouseEvent& event)
{
    event.Skip();
    switch (event.GetId()) {
    case ID_VIDEO_STOP:
        stop();
        break;
    case ID_VIDEO_PLAY:
        if (m_playState != PlayPlaying)
            play();
        break;
    case ID_VIDEO_PAUSE:
        if (m_playState != PlayPaused)
            pause();
        break;
    case ID_PROGRESS_BAR:
        // A video without a known length has no positions on the bar.
        if (m_bar->total <= 0)
            break;
        if (!m_bar->HasCapture() && m_bar->IsShownOnScreen())
            m_bar->CaptureMouse();
        m_dragging = true;
        seekTo(m_bar->seekFromX(event.GetX()));
        break;
    default:
        break;
    }
}

void COrvexVideoControlBox::onMotion(wxMouseEvent& event)
{
    event.Skip();
    // Only a drag that began on the bar seeks: a pointer wobbling while a button is
    // pressed must not move the video.
    if (!m_dragging || !event.LeftIsDown() || m_bar->total <= 0)
        return;
    auto* from = wxDynamicCast(event.GetEventObject(), wxWindow);
    wxPoint p = event.GetPosition();
    if (from && from != m_bar)
        p = m_bar->ScreenToClient(from->ClientToScreen(p));
    const int x = std::max(p.x, 0);
    m_bar->drawProgress(std::min(x, m_bar->GetSize().x));
    const int i = frameAtX(x, m_bar->total, m_bar->width);
    m_bar->position = i;
    // A seek decodes from the key frame before the frame to the frame; the key frame alone
    // is enough while the pointer moves on.
    if (!scrubTo(i))
        seekTo(i);
}

void COrvexVideoControlBox::endDrag()
{
    m_dragging = false;
    if (m_bar->HasCapture())
        m_bar->ReleaseMouse();
    landScrub();
}

void COrvexVideoControlBox::onControlUp(wxMouseEvent& event)
{
    event.Skip();
    endDrag();
}

void COrvexVideoControlBox::onCaptureLost(wxMouseCaptureLostEvent&)
{
    m_dragging = false;
    landScrub();
}

// ---- Layout ---------------------------------------------------------------------------------

void COrvexVideoControlBox::hidePlayerControls()
{
    for (wxWindow* w :
         std::initializer_list<wxWindow*>{m_timeLabel, m_bar, m_play, m_pause, m_stop})
        w->Hide();
}

void COrvexVideoControlBox::showPlayerControls()
{
    if (!visible)
        return;
    for (wxWindow* w :
         std::initializer_list<wxWindow*>{m_timeLabel, m_bar, m_play, m_pause, m_stop})
        w->Show();
}

void COrvexVideoControlBox::layoutPlayer(const wxBitmap& strip, int x, int y)
{
    hidePlayerControls();
    const int W4 = strip.IsOk() ? strip.GetWidth() : 652;
    const int H4 = strip.IsOk() ? strip.GetHeight() : 108;
    const PlayerGeometry g = playerGeometry(W4, H4, x, y);

    const wxSize labelSize = atLeastOne(g.label.w, g.label.h);
    const wxRect under(g.label.x - x, g.label.y - y, labelSize.x, labelSize.y);
    if (strip.IsOk() && wxRect(0, 0, W4, H4).Contains(under))
        m_labelBackground = strip.GetSubBitmap(under);
    else
        m_labelBackground = blackBitmap(labelSize.x, labelSize.y);
    m_timeLabel->SetSize(g.label.x, g.label.y, labelSize.x, labelSize.y);
    m_labelStale = true;
    drawTime();
    m_labelRight = g.labelRight;
    m_labelBottom = g.labelBottom;

    const wxSize barSize = atLeastOne(g.bar.w, g.bar.h);
    m_bar->SetSize(g.bar.x, g.bar.y, barSize.x, barSize.y);
    if (m_bar->total != 0) {
        m_bar->resizeProgress();
    } else {
        m_bar->width = barSize.x;
        m_bar->drawProgress(0);
    }

    const wxSize buttonSize = atLeastOne(g.buttons[0].w, g.buttons[0].h);
    loadPictures(buttonSize.x, buttonSize.y);
    SkinBitmap* order[3] = {m_play, m_pause, m_stop};
    for (size_t i = 0; i < 3; ++i)
        order[i]->SetSize(g.buttons[i].x, g.buttons[i].y, buttonSize.x, buttonSize.y);
    showButtonPictures();
    m_stop->show(m_pictures[StopOff]);
    showPlayerControls();
}
