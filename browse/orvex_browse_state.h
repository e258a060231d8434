// The browse tab: shows a captured photo or plays a captured video chosen in the thumbnail
// strip, with zoom, mirror and quarter turns, and saves a video frame as a new capture.
#pragma once

#include "app/orvex_state.h"
#include "app/window_ids.h"
#include "browse/media_catalogue.h"
#include "capture/zoom_control.h"

#include <wx/bitmap.h>

#include <array>
#include <memory>
#include <string>

class SkinBitmap;
class COrvexVideoControlBox;
class wxScrollBar;

class COrvexBrowseState : public COrvexState
{
public:
    COrvexBrowseState(wxWindow* parent, const wxPoint& origin);
    ~COrvexBrowseState() override;

    bool canEnter() override;
    void enter() override;
    void leave() override;
    void onTimer() override;
    void snapshotRelease() override;
    void releaseFrame() override;
    void releaseMedia() override;
    void releaseVanishedMedia() override;
    void openFile(const std::string& path) override;
    void relayout(const TabLayout& layout) override;
    void layoutTab(wxBitmap topLeft);
    void layoutSide(const TabLayout& layout);
    void layoutBars(wxBitmap side, wxBitmap topBar);
    void hideAll() override;
    void showAll() override;
    void wheelStep(int delta) override;
    void keySpace() override;
    void keyEnter() override;
    void keyCtrlP() override;
    void keyCtrlS() override;
    void keyEscape() override;
    void keyF2() override;
    wxString statusText() override;
    wxColour statusColour() override;
    cv::Mat* grabFrame() override;

    bool isVideo() const { return m_isVideo == 1; }
    COrvexVideoControlBox* player() const { return m_player; }
    SkinBitmap* toolButton(int id) const;
    wxScrollBar* zoomBar() const { return m_zoom->bar(); }
    SkinBitmap* zoomLabel() const { return m_zoom->label(); }
    bool snapshotHeld() const { return m_snapshotHeld; }
    bool mirrorOn() const { return m_mirrorOn; }
    int rotationStep() const { return m_rotationStep; }
    const cv::Mat& photo() const { return m_frame; }

private:
    enum Tool { ToolSnapshot, ToolMirror, ToolRotate };
    void onToolDown(wxMouseEvent& event);
    void snapshotPressed();
    void mirrorToggle();
    void rotateStep();
    void showToolPicture(Tool t, bool click);
    void placeTools(bool video, int spacing);
    void showUnreadable(const std::string& name);
    void loadToolPictures(int w, int h);
    void hideTools();

    std::array<SkinBitmap*, 3> m_tools{};
    std::array<wxBitmap, 6> m_toolPictures; // release, click per tool
    std::unique_ptr<ZoomControl> m_zoom;
    COrvexVideoControlBox* m_player = nullptr;
    wxString m_status;
    int m_isVideo = 0;
    struct ToolPlaces {
        int x = 0, y = 0, spacing = 4, height = 108;
    } m_column;
    int m_layoutSpacing = 5;
    wxPoint m_panel{0, 0}; // the tool column's origin as laid out
    cv::Mat m_frame;       // the decoded photo
    cv::Mat m_blank;       // shown instead of a photo that could not be read
    cv::Mat m_work;        // the frame handed to the screen (a copy when the pass saves it)
    std::string m_path;    // of the file opened last, as the file system gave it
    FileIdentity m_opened; // what m_path named when it was opened
};
