// The camera search: finds the inspection camera among all video inputs, recognises its
// model and opens it with the frame size the model needs.
#include "capture/orvex_preview_state.h"

#include "app/data_files.h"
#include "app/skin_bitmap.h"
#include "capture/em2800_prop.h"
#include "capture/video_input_list.h"
#include "devctl/orvex_io_control_box.h"
#include "platform/clock.h"
#include "platform/services.h"

#include <wx/combobox.h>

#include <cstring>

namespace
{

struct NamePattern {
    const char* text;
    ModelSlot slot;
    const char* label = nullptr; // the log's name for it when not the pattern itself
};

// In matching order: a longer name ("Q3400 39HD") comes before its prefix ("Q3400 39").
const NamePattern kPatterns[] = {
    {"Telvane-one", SlotTelCap, "TELCAP"},
    {"Pellar", SlotK1100, "K1100"},
    {"iCatchtek", SlotChip},
    {"General USB Device", SlotChip},
    {"Q3400 60", SlotHd720},
    {"Q3400 39HD", SlotSquare800},
    {"Q3400 39", SlotSquare400},
    {"Q810 60HD", SlotHd720},
    {"Q810 39HD", SlotSquare800},
    {"Q720 60HD", SlotHd720},
    {"Q720 39HD", SlotSquare800},
    {"N5 VGA", SlotWide360},
    {"N5 HD", SlotHd1080},
    {"N9 HD", SlotHd1080},
    {"RF550 HD", SlotVga480},
};

struct SizeSlot {
    ModelSlot slot;
    int width, height;
    bool queryAround; // one frame before and one after the size settings
};

const SizeSlot kSizeSlots[] = {
    {SlotHd1080, 1920, 1080, false},  {SlotHd720, 1280, 720, false},
    {SlotWide360, 640, 360, true},    {SlotSquare800, 800, 800, true},
    {SlotSquare400, 400, 400, false}, {SlotVga480, 640, 480, false},
};

constexpr uint8_t kTubeDevice = scope::kTube;
constexpr int kPictureModeRegister = scope::kTubePicture;
constexpr int kModeA16D8 = BV_MODE_A16D8;
constexpr uint16_t kLivePicture = scope::kPictureLive;

// The search asks a camera for a frame that came after it asked, as a read from the device
// would give: a query after a register write must show the new picture, never one the
// capture kept from before (a reader thread slowed by a busy machine may not have taken one
// since). A camera whose stream has only just started (a bus freed by the camera tried
// before) gets a while for its first one.
constexpr uint32_t kFirstFrameMs = 1000;
constexpr uint32_t kFirstFrameStepMs = 10;

} // namespace

SteppedTask COrvexPreviewState::newestFrame(platform::Capture* c, cv::Mat& out)
{
    return frameTakenSince(c, std::nullopt, out);
}

SteppedTask COrvexPreviewState::frameTakenSince(platform::Capture* c, std::optional<uint32_t> since,
                                                cv::Mat& out)
{
    out.release();
    if (!c)
        co_return;
    const uint32_t begun = platform::clock().tickCount();
    for (;;) {
        cv::Mat f;
        if (c->grab() && c->retrieve(f) && !f.empty()) {
            const auto takenAt = static_cast<uint32_t>(c->get(platform::kPropPosMsec));
            if (!since || static_cast<int32_t>(takenAt - *since) >= 0) {
                out = f;
                co_return;
            }
        }
        if (platform::clock().tickCount() - begun >= kFirstFrameMs)
            co_return;
        co_await pauseFor(kFirstFrameStepMs);
    }
}

void COrvexPreviewState::clearCameraList()
{
    m_capture = nullptr;
    m_frameSource = nullptr; // a capture made later may get the same address
    m_reopen.reset();
    m_captures.clear();
    m_cameraList->Clear();
}

void COrvexPreviewState::addCamera(int index, std::unique_ptr<platform::Capture> capture)
{
    m_cameraList->Append(wxString::Format("Camera (%d)", index));
    m_captures.push_back(std::move(capture));
}

void COrvexPreviewState::refreshCamera()
{
    // Asked for from inside a step (the device box answering while it is questioned): the
    // step may not be torn down under itself, so the search starts over once it returns.
    if (m_stepping) {
        m_searchAgain = true;
        return;
    }
    // A search under way starts over: the devices it counted may have changed.
    m_search.reset();
    m_searchAgain = false;
    runSteps([this] { m_search = searchSteps(); });
}

void COrvexPreviewState::runBackground()
{
    // The search's steps go on whichever tab is shown.
    if (m_search.running())
        runSteps([this] { m_search.resume(); });
}

void COrvexPreviewState::runSteps(const std::function<void()>& steps)
{
    m_stepping = true;
    try {
        steps();
    } catch (...) {
        m_stepping = false;
        throw;
    }
    m_stepping = false;
    if (m_searchAgain) {
        refreshCamera();
        return;
    }
    replayHeldInput();
}

SteppedTask COrvexPreviewState::searchSteps()
{
    co_await searchCamera();
    releaseUnusedCameras();
}

bool COrvexPreviewState::afterSearch(std::function<void()> action, bool needsCamera)
{
    // Whatever came after held input waits behind it, so all happens in the order it came.
    if (!m_search.running() || (!needsCamera && m_heldInput.empty()))
        return false;
    m_heldInput.push_back(std::move(action));
    return true;
}

void COrvexPreviewState::replayHeldInput()
{
    // An action may start a search again (entering the tab after a device change): the rest
    // wait for that one.
    while (!m_search.running() && !m_heldInput.empty()) {
        std::function<void()> action = std::move(m_heldInput.front());
        m_heldInput.pop_front();
        action();
    }
}

bool COrvexPreviewState::holdsSwitch(int toState)
{
    return afterSearch([toState] { switchState(toState); }, false);
}

void COrvexPreviewState::releaseUnusedCameras()
{
    // A stream left open keeps its bus bandwidth and can stop another camera from
    // starting: only the camera in use stays open. The list keeps its positions.
    for (auto& c : m_captures)
        if (c.get() != m_capture)
            c.reset();
}

SteppedTask COrvexPreviewState::searchCamera()
{
    m_capture = nullptr;
    m_cameraKind = KindNone;
    m_rotateShown = false;
    m_modelIndex.fill(-1);
    toolButton(3)->Hide();

    logLine("Preview refreshCamera() Count(%d)\n", static_cast<int>(m_cameraList->GetCount()));
    clearCameraList();

    co_await pauseFor(200);
    logLine("Preview refreshCamera() %s\n", "search camera");
    {
        CVideoInputList inputs;
        const int n = inputs.countDevices();
        co_await pauseFor(100);
        logLine("Preview refreshCamera() DeviceCamCount(%d)\n", n);
        if (n == 0)
            co_return;
        char name[kNameBufferSize] = {0};
        for (int j = 0; j < n; ++j) {
            std::unique_ptr<platform::Capture> cap = platform::captures().openCamera(j);
            logLine("Preview refreshCamera() No=%d, camera(%s)\n", j, cap ? "TRUE" : "FALSE");
            co_await pauseFor(100);
            addCamera(j, std::move(cap));
            // A device without a readable name must not inherit the previous device's.
            name[0] = '\0';
            if (inputs.deviceName(j, name) < 1)
                continue;
            logLine("Preview refreshCamera() Camera(%d) CamName(%s)\n", j, name);
            for (const NamePattern& p : kPatterns) {
                if (std::strstr(name, p.text)) {
                    logLine("Preview refreshCamera() %s(%d)\n", p.label ? p.label : p.text, j);
                    m_modelIndex[p.slot] = j;
                    break;
                }
            }
        }
    }
    co_await pauseFor(1000);

    auto captureAt = [this](int index) { return cameraAt(static_cast<size_t>(index)); };
    cv::Mat f;

    if (m_modelIndex[SlotTelCap] >= 0 || m_modelIndex[SlotK1100] >= 0) {
        const bool telcap = m_modelIndex[SlotTelCap] >= 0;
        const int k = telcap ? m_modelIndex[SlotTelCap] : m_modelIndex[SlotK1100];
        platform::Capture* cap = captureAt(k);
        co_await pauseFor(100);
        if (cap)
            co_await newestFrame(cap, f);
        co_await newestFrame(cap, f);
        const bool ok = !f.empty();
        co_await pauseFor(100);
        const char* label = telcap ? "TelCap" : "K1100";
        if (ok) {
            m_capture = cap;
            m_cameraKind = telcap ? KindTelCap : KindK1100;
            m_rotateShown = true;
            // A search that ended behind another tab leaves the button to the tab's entry.
            if (m_active)
                toolButton(3)->Show();
            if (!telcap) {
                if (!pCEM2800Prop)
                    InitEM2800Prop();
                if (pCEM2800Prop) {
                    const uint16_t v14 = 0x005F, v26 = 0x0000, v28 = 0x0F0F;
                    pCEM2800Prop->WriteIndirect(14, &v14);
                    pCEM2800Prop->WriteIndirect(26, &v26);
                    pCEM2800Prop->WriteIndirect(28, &v28);
                }
            }
            logLine("Preview refreshCamera() %s(%d) QueryFrame OK!\n", label, k);
        } else {
            logLine("Preview refreshCamera() %s(%d) NoQueryFrame\n", label, k);
        }
        co_return;
    }

    if (m_modelIndex[SlotChip] >= 0) {
        const int k = m_modelIndex[SlotChip];
        co_await pauseFor(100);
        co_await openGeneric(captureAt(k), k,
                             "Preview refreshCamera() ICATCH Index(%d) QueryFrame OK!\n",
                             "Preview refreshCamera() ICATCH Index(%d) NoQueryFrame\n");
        co_return;
    }

    for (const SizeSlot& s : kSizeSlots) {
        const int k = m_modelIndex[s.slot];
        if (k < 0)
            continue;
        platform::Capture* cap = captureAt(k);
        if (cap) {
            if (s.queryAround)
                co_await newestFrame(cap, f);
            cap->set(platform::kPropFrameWidth, s.width);
            cap->set(platform::kPropFrameHeight, s.height);
            if (s.queryAround)
                co_await newestFrame(cap, f);
        }
        co_await pauseFor(100);
        co_await openGeneric(cap, k, "Preview refreshCamera() Index(%d) QueryFrame OK!\n",
                             "Preview refreshCamera() Index(%d) QueryFrame Fail!\n");
        co_return;
    }

    // The family test: the scope's tube answers, and its camera shows the colour bars.
    const bool have = m_ioBox->checkKelmo(false);
    // A search abandoned while the bars are on (started over, or the window closed) puts the
    // live picture back.
    struct BarsOn {
        COrvexIOControlBox* box;
        bool on;
        ~BarsOn()
        {
            if (on)
                box->writeRegister(kModeA16D8, kTubeDevice, kPictureModeRegister, kLivePicture);
        }
    } bars{m_ioBox, have};
    // Frames taken before the bars settled (still queued, or held by the capture thread)
    // show the live picture.
    const uint32_t barsFrom = platform::clock().tickCount();
    const int count = static_cast<int>(m_cameraList->GetCount());
    co_await pauseFor(100);
    logLine("Preview refreshCamera() haveKelmo(%s), Count(%d)\n", have ? "TRUE" : "FALSE", count);
    if (have) {
        m_cameraKind = KindKelmo;
        int found = -1;
        for (int i = 0; i < count && found < 0; ++i) {
            platform::Capture* cap = captureAt(i);
            if (!cap)
                continue;
            co_await frameTakenSince(cap, barsFrom, f);
            if (f.empty() || f.cols != 640 || f.rows != 480 || f.type() != CV_8UC3 ||
                !f.isContinuous())
                logLine("Preview refreshCamera() camera(%d) NoQueryFrame\n", i);
            else if (COrvexIOControlBox::isKelmo(f.data))
                found = i;
            else
                logLine("Preview refreshCamera() camera(%d) Not Kelmo\n", i);
            if (found != i)
                m_captures[static_cast<size_t>(i)].reset(); // frees its bus for the next one
        }
        bars.on = false;
        if (found < 0) {
            m_ioBox->writeRegister(kModeA16D8, kTubeDevice, kPictureModeRegister, kLivePicture);
            co_await pauseFor(30);
            co_return;
        }
        logLine("Preview refreshCamera() camera(%d) Is K2200\n", found);
        m_modelIndex[SlotKelmo] = found;
        m_ioBox->writeRegister(kModeA16D8, kTubeDevice, kPictureModeRegister, kLivePicture);
        co_await pauseFor(30);
        co_await pauseFor(100);
        platform::Capture* cap = captureAt(found);
        co_await newestFrame(cap, f);
        co_await newestFrame(cap, f);
        const bool ok = !f.empty();
        co_await pauseFor(100);
        if (ok) {
            m_capture = cap;
            logLine("Preview refreshCamera() K2200(%d) QueryFrame OK!\n", found);
        } else {
            logLine("Preview refreshCamera() K2200(%d) NoQueryFrame\n", found);
        }
        co_return;
    }

    const int idx = findBridgeIndex();
    logLine("Preview refreshCamera() M1900(%d)\n", idx);
    m_cameraKind = KindGeneric;
    co_await openGeneric(idx >= 0 && idx < count ? captureAt(idx) : nullptr, idx,
                         "Preview refreshCamera() ICATCH(%d) QueryFrame OK!\n",
                         "Preview refreshCamera() ICATCH(%d) NoQueryFrame\n");
}

SteppedTask COrvexPreviewState::openGeneric(platform::Capture* cap, int index, const char* okLine,
                                            const char* failLine)
{
    // A frame, then (only after one) a second, as these cameras need to settle.
    cv::Mat f;
    co_await newestFrame(cap, f);
    if (!f.empty())
        co_await newestFrame(cap, f);
    const bool ok = !f.empty();
    co_await pauseFor(100);
    if (ok) {
        m_capture = cap;
        m_cameraKind = KindGeneric;
    }
    logLine(ok ? okLine : failLine, index);
}
