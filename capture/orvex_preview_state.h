// The live-view tab: runs the camera search, hands the live camera's frames to the screen,
// polls the scope's unit and the camera buttons, and routes the tab's tools and keys.
#pragma once

#include "app/orvex_state.h"
#include "capture/camera_search.h"
#include "capture/live_camera.h"
#include "capture/stepped_task.h"
#include "capture/zoom_control.h"
#include "platform/capture.h"
#include "platform/clock.h"

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class COrvexIOControlBox;
class SkinBitmap;
class wxComboBox;
class wxScrollBar;

class COrvexPreviewState : public COrvexState
{
public:
    COrvexPreviewState(wxWindow* parent, const wxPoint& origin);
    ~COrvexPreviewState() override;

    void enter() override;
    void leave() override;
    void deviceArrived(bool isHandle) override;
    void deviceRemoved(bool isHandle) override;
    void onTimer() override;
    void runBackground() override;
    bool holdsSwitch(int toState) override;
    void snapshotPress() override;
    void snapshotRelease() override;
    void toggleRecord() override;
    void releaseFrame() override;
    void relayout(const TabLayout& layout) override;
    void layoutTab(wxBitmap topLeft);
    void layoutSide(const TabLayout& layout);
    void layoutBars(wxBitmap side, wxBitmap topBar);
    void hideAll() override;
    void showAll() override;
    void wheelStep(int delta) override;
    void keyLeft() override;
    void keyRight() override;
    void keySpace() override;
    void keyCtrlR() override;
    void keyEnter() override;
    void keyF1() override;
    void keyF2() override;
    void keyF3() override;
    wxString statusText() override;
    wxColour statusColour() override;
    cv::Mat* grabFrame() override;
    uint32_t frameTakenAt() const override { return m_live.frameTakenAt(); }
    cv::Size fileFrameSize(const cv::Mat& frame) const override;

    // Starts the camera search (over again, when one is under way). It goes on over the
    // frame's ticks; once it has ended, capture(), cameraKind() and modelIndex() tell the
    // outcome.
    void refreshCamera();
    bool searching() const { return m_search.running(); }
    // Keys and clicks kept for the search's end.
    size_t inputWaiting() const { return m_heldInput.size(); }

    // Looks of the capture buttons, set by the snapshot and recording operations.
    void showSnapshotLook(bool held);
    void showRecordLook(bool recording);

    CameraKind cameraKind() const { return m_camera.kind; }
    platform::Capture* capture() const { return m_camera.capture; }
    int modelIndex(ModelSlot slot) const { return m_camera.modelIndex[slot]; }
    // The K1100's bridge; null for any other camera.
    CEM2800Prop* bridge() const { return m_camera.bridge.get(); }
    COrvexIOControlBox* ioBox() const { return m_ioBox; }
    size_t cameraCount() const { return m_camera.captures.size(); }
    platform::Capture* cameraAt(size_t i) const { return m_camera.at(i); }
    bool recording() const { return m_toolLook[0]; }
    SkinBitmap* toolButton(int i) const { return m_tools[static_cast<size_t>(i)]; }
    wxScrollBar* zoomBar() const { return m_zoom->bar(); }
    SkinBitmap* zoomLabel() const { return m_zoom->label(); }
    bool ioPresent() const { return m_ioPresent; }

private:
    void onToolDown(wxMouseEvent& event);
    void onToolUp(wxMouseEvent& event);
    void mirrorToggle();
    void updateRotateLook();
    void buttonPoll();
    CameraSearch::Hooks searchHooks();
    SteppedTask searchSteps();
    void runSteps(const std::function<void()>& steps);
    // Input that needs the camera the search is choosing (needsCamera), and any input after
    // it, waits for the search's end: true when the action was kept for then.
    bool afterSearch(std::function<void()> action, bool needsCamera);
    void replayHeldInput();
    void toolDown(int id);
    void toolUp(int id);
    void loadToolPictures(int w, int h);

    // The camera shown and its search
    LiveCamera m_live;
    CameraChoice& m_camera = m_live.choice();
    CameraSearch m_finder{m_camera, searchHooks()};
    wxComboBox* m_cameraList = nullptr;
    SteppedTask m_search;
    bool m_stepping = false;    // a step of the search runs now
    bool m_searchAgain = false; // asked for while a step ran
    std::deque<std::function<void()>> m_heldInput;

    // Tools: snapshot, record, mirror, rotate; pictures release/click per tool
    std::array<SkinBitmap*, 4> m_tools{};
    std::array<wxBitmap, 8> m_toolPictures;
    std::unique_ptr<ZoomControl> m_zoom;
    wxPoint m_panel{0, 0}; // the tool panel's origin as laid out
    int m_topBarHeight = 52;
    COrvexIOControlBox* m_ioBox = nullptr;

    // Recording in progress
    wxString m_recordFile;
    platform::LocalTime m_recordStart;

    uint8_t m_initState = 1;
    bool m_laidOut = false;
    uint32_t m_tickCount = 0;
    bool m_ioPresent = false;

    friend class PreviewCaptureFiles;
};
