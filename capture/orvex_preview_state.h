// The live-view tab: finds and opens the camera, pumps its frames to the screen, watches the
// family camera's tube and the camera buttons, and routes the tab's tools and keys.
#pragma once

#include "app/orvex_state.h"
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

enum CameraKind { KindNone = 0, KindKelmo = 1, KindK1100 = 2, KindTelCap = 3, KindGeneric = 4 };

enum ModelSlot {
    SlotKelmo,
    SlotK1100,
    SlotTelCap,
    SlotChip,
    SlotHd1080,
    SlotHd720,
    SlotWide360,
    SlotSquare800,
    SlotSquare400,
    SlotVga480,
    kModelSlots
};

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
    uint32_t frameTakenAt() const override { return m_frameTakenAt; }
    cv::Size fileFrameSize(const cv::Mat& frame) const override;

    // Steps that put into `out` a camera's newest frame; a stream that has not given its
    // first frame yet gets a short while. Empty when there is none.
    static SteppedTask newestFrame(platform::Capture* capture, cv::Mat& out);
    // Steps that put into `out` the first frame the camera took at or after clock tick
    // `since`, waiting up to a second for it: a frame already on its way shows what the sensor
    // saw before. Empty when the camera gives nothing new.
    static SteppedTask frameTakenSince(platform::Capture* capture, std::optional<uint32_t> since,
                                       cv::Mat& out);

    // Starts the camera search (over again, when one is under way). It goes on over the
    // frame's ticks; once it has ended, m_capture, m_cameraKind and m_modelIndex tell the
    // outcome.
    void refreshCamera();
    bool searching() const { return m_search.running(); }
    // Keys and clicks kept for the search's end.
    size_t inputWaiting() const { return m_heldInput.size(); }

    // Looks of the capture buttons, set by the snapshot and recording operations.
    void showSnapshotLook(bool held);
    void showRecordLook(bool recording);

    CameraKind cameraKind() const { return m_cameraKind; }
    platform::Capture* capture() const { return m_capture; }
    int modelIndex(ModelSlot slot) const { return m_modelIndex[slot]; }
    COrvexIOControlBox* ioBox() const { return m_ioBox; }
    size_t cameraCount() const { return m_captures.size(); }
    platform::Capture* cameraAt(size_t i) const
    {
        return i < m_captures.size() ? m_captures[i].get() : nullptr;
    }
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
    void tubeWatch();
    void buttonPoll();
    void dropCamera(int index);
    bool frameLost() const;
    cv::Mat* takeFrame(bool forFile);
    void finishReopen(int index);
    void releaseUnusedCameras();
    SteppedTask searchSteps();
    SteppedTask searchCamera();
    void runSteps(const std::function<void()>& steps);
    // Input that needs the camera the search is choosing (needsCamera), and any input after
    // it, waits for the search's end: true when the action was kept for then.
    bool afterSearch(std::function<void()> action, bool needsCamera);
    void replayHeldInput();
    void clearCameraList();
    void addCamera(int index, std::unique_ptr<platform::Capture> capture);
    SteppedTask openGeneric(platform::Capture* cap, int index, const char* okLine,
                            const char* failLine);
    void toolDown(int id);
    void toolUp(int id);
    void loadToolPictures(int w, int h);

    // Camera search
    platform::Capture* m_capture = nullptr;
    cv::Mat m_frame;
    platform::Capture* m_frameSource = nullptr; // the capture m_frame and its age belong to
    uint32_t m_lastNewFrame = 0;                // clock tick of its last new frame
    uint32_t m_frameTakenAt = 0;                // the camera's clock tick for m_frame
    cv::Mat m_work;
    CameraKind m_cameraKind = KindNone;
    std::array<int, kModelSlots> m_modelIndex;
    bool m_rotateShown = false;
    wxComboBox* m_cameraList = nullptr;
    std::vector<std::unique_ptr<platform::Capture>> m_captures; // one per device index
    std::unique_ptr<platform::Capture> m_reopen; // opened on tube input, not yet confirmed
    uint32_t m_reopenAt = 0;
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
    bool m_tubeIn = true;
    uint32_t m_tickCount = 0;
    bool m_ioPresent = false;

    friend class PreviewCaptureFiles;
};
