#include "capture/camera_search.h"

#include "capture/em2800_prop.h"
#include "capture/video_input_list.h"
#include "platform/clock.h"
#include "platform/log_line.h"
#include "platform/services.h"

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

// The search asks a camera for a frame that came after it asked, as a read from the device
// would give: a query after a register write must show the new picture, never one the
// capture kept from before (a reader thread slowed by a busy machine may not have taken one
// since). A camera whose stream has only just started (a bus freed by the camera tried
// before) gets a while for its first one.
constexpr uint32_t kFirstFrameMs = 1000;
constexpr uint32_t kFirstFrameStepMs = 10;

} // namespace

SteppedTask CameraSearch::newestFrame(platform::Capture* c, cv::Mat& out)
{
    return frameTakenSince(c, std::nullopt, out);
}

SteppedTask CameraSearch::frameTakenSince(platform::Capture* c, std::optional<uint32_t> since,
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

SteppedTask CameraSearch::run()
{
    co_await searchCamera();
    releaseUnusedCameras();
}

void CameraSearch::releaseUnusedCameras()
{
    // A stream left open keeps its bus bandwidth and can stop another camera from
    // starting: only the camera in use stays open. The list keeps its positions.
    for (auto& c : m_choice.captures)
        if (c.get() != m_choice.capture)
            c.reset();
}

SteppedTask CameraSearch::searchCamera()
{
    m_choice.capture = nullptr;
    m_choice.kind = KindNone;
    m_choice.rotateShown = false;
    m_choice.modelIndex.fill(-1);

    logLine("Preview refreshCamera() Count(%d)\n", static_cast<int>(m_choice.captures.size()));
    m_hooks.listCleared();
    m_choice.captures.clear();

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
            m_choice.captures.push_back(std::move(cap));
            m_hooks.cameraAdded(j);
            // A device without a readable name must not inherit the previous device's.
            name[0] = '\0';
            if (inputs.deviceName(j, name) < 1)
                continue;
            logLine("Preview refreshCamera() Camera(%d) CamName(%s)\n", j, name);
            for (const NamePattern& p : kPatterns) {
                if (std::strstr(name, p.text)) {
                    logLine("Preview refreshCamera() %s(%d)\n", p.label ? p.label : p.text, j);
                    m_choice.modelIndex[p.slot] = j;
                    break;
                }
            }
        }
    }
    co_await pauseFor(1000);

    auto captureAt = [this](int index) { return m_choice.at(static_cast<size_t>(index)); };
    cv::Mat f;

    if (m_choice.modelIndex[SlotTelCap] >= 0 || m_choice.modelIndex[SlotK1100] >= 0) {
        const bool telcap = m_choice.modelIndex[SlotTelCap] >= 0;
        const int k = telcap ? m_choice.modelIndex[SlotTelCap] : m_choice.modelIndex[SlotK1100];
        platform::Capture* cap = captureAt(k);
        co_await pauseFor(100);
        if (cap)
            co_await newestFrame(cap, f);
        co_await newestFrame(cap, f);
        const bool ok = !f.empty();
        co_await pauseFor(100);
        const char* label = telcap ? "TelCap" : "K1100";
        if (ok) {
            m_choice.capture = cap;
            m_choice.kind = telcap ? KindTelCap : KindK1100;
            m_choice.rotateShown = true;
            if (!telcap) {
                if (!m_choice.bridge.get())
                    m_choice.bridge.init();
                if (CEM2800Prop* bridge = m_choice.bridge.get()) {
                    const uint16_t v14 = 0x005F, v26 = 0x0000, v28 = 0x0F0F;
                    bridge->WriteIndirect(14, &v14);
                    bridge->WriteIndirect(26, &v26);
                    bridge->WriteIndirect(28, &v28);
                }
            }
            logLine("Preview refreshCamera() %s(%d) QueryFrame OK!\n", label, k);
        } else {
            logLine("Preview refreshCamera() %s(%d) NoQueryFrame\n", label, k);
        }
        co_return;
    }

    if (m_choice.modelIndex[SlotChip] >= 0) {
        const int k = m_choice.modelIndex[SlotChip];
        co_await pauseFor(100);
        co_await openGeneric(captureAt(k), k,
                             "Preview refreshCamera() ICATCH Index(%d) QueryFrame OK!\n",
                             "Preview refreshCamera() ICATCH Index(%d) NoQueryFrame\n");
        co_return;
    }

    for (const SizeSlot& s : kSizeSlots) {
        const int k = m_choice.modelIndex[s.slot];
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
    const bool have = m_hooks.barsOn();
    // A search abandoned while the bars are on (started over, or the window closed) puts the
    // live picture back.
    struct BarsOn {
        const std::function<void()>& livePicture;
        bool on;
        ~BarsOn()
        {
            if (on)
                livePicture();
        }
    } bars{m_hooks.livePicture, have};
    // Frames taken before the bars settled (still queued, or held by the capture thread)
    // show the live picture.
    const uint32_t barsFrom = platform::clock().tickCount();
    const int count = static_cast<int>(m_choice.captures.size());
    co_await pauseFor(100);
    logLine("Preview refreshCamera() haveKelmo(%s), Count(%d)\n", have ? "TRUE" : "FALSE", count);
    if (have) {
        m_choice.kind = KindKelmo;
        int found = -1;
        for (int i = 0; i < count && found < 0; ++i) {
            platform::Capture* cap = captureAt(i);
            if (!cap)
                continue;
            co_await frameTakenSince(cap, barsFrom, f);
            if (f.empty() || f.cols != 640 || f.rows != 480 || f.type() != CV_8UC3 ||
                !f.isContinuous())
                logLine("Preview refreshCamera() camera(%d) NoQueryFrame\n", i);
            else if (m_hooks.showsBars(f.data))
                found = i;
            else
                logLine("Preview refreshCamera() camera(%d) Not Kelmo\n", i);
            if (found != i)
                m_choice.captures[static_cast<size_t>(i)].reset(); // frees its bus for the next one
        }
        bars.on = false;
        if (found < 0) {
            m_hooks.livePicture();
            co_await pauseFor(30);
            co_return;
        }
        logLine("Preview refreshCamera() camera(%d) Is K2200\n", found);
        m_choice.modelIndex[SlotKelmo] = found;
        m_hooks.livePicture();
        co_await pauseFor(30);
        co_await pauseFor(100);
        platform::Capture* cap = captureAt(found);
        co_await newestFrame(cap, f);
        co_await newestFrame(cap, f);
        const bool ok = !f.empty();
        co_await pauseFor(100);
        if (ok) {
            m_choice.capture = cap;
            logLine("Preview refreshCamera() K2200(%d) QueryFrame OK!\n", found);
        } else {
            logLine("Preview refreshCamera() K2200(%d) NoQueryFrame\n", found);
        }
        co_return;
    }

    const int idx = findBridgeIndex();
    logLine("Preview refreshCamera() M1900(%d)\n", idx);
    m_choice.kind = KindGeneric;
    co_await openGeneric(idx >= 0 && idx < count ? captureAt(idx) : nullptr, idx,
                         "Preview refreshCamera() ICATCH(%d) QueryFrame OK!\n",
                         "Preview refreshCamera() ICATCH(%d) NoQueryFrame\n");
}

SteppedTask CameraSearch::openGeneric(platform::Capture* cap, int index, const char* okLine,
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
        m_choice.capture = cap;
        m_choice.kind = KindGeneric;
    }
    logLine(ok ? okLine : failLine, index);
}
