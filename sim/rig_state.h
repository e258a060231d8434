// The running rig's state, shared by the files that implement its interfaces. One global
// rig guarded by one lock; every entry point takes a Session, which fires the scripted
// events that are due and hands plug events to listeners once the lock is released.
#pragma once

#include "scopesim/rig.h"
#include "scopesim/stream.h"
#include "sim/em28xx_model.h"
#include "sim/frame_plan.h"
#include "sim/scenario.h"
#include "sim/scope_model.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace scopesim
{

// A device's video stream: what the driver's buffer queue holds (see scopesim/stream.h).
struct StreamState {
    bool on = false;
    uint32_t plugCount = 0; // the plug-in it was started in; a stream dies with it
    const void* owner = nullptr;
    PixelFormat format = PixelFormat::Yuyv;
    uint32_t startedAt = 0;
    uint64_t nextFrame = 0;        // the sensor's next frame: at startedAt + (n + 1) period
    std::deque<uint64_t> queue;    // filled buffers by frame number, oldest first
    std::vector<uint32_t> takenAt; // capture time of each queued frame, same order
    uint64_t bandwidth = 0;        // bytes per second held on the bus
    uint64_t taken = 0;            // frame number + 1 of the newest frame put in a buffer
    bool interrupted = false;
    // The bytes of the picture sent last. Once the same picture comes twice in a row (a still
    // scene, black, the bars) they are kept and handed out again without drawing.
    FramePlan sentPlan;
    PixelFormat sentFormat = PixelFormat::Yuyv;
    int sentWidth = 0, sentHeight = 0;
    bool sentAny = false;
    std::vector<uint8_t> repeatBytes; // empty until a picture repeated
};

struct Device {
    int id = 0;
    DeviceSpec spec;
    int videoNumber = -1; // position among the video inputs, -1 for plain USB devices
    bool plugged = true;
    uint32_t plugCount = 1;
    bool framesOn = true;
    bool stalled = false;
    uint32_t stallUntil = 0; // rig ms
    FrameSize size;
    std::vector<FrameSize> sizes;
    std::set<int> absent;
    std::unique_ptr<ScopeModel> scope;
    std::unique_ptr<Em28xxModel> em;
    StreamState stream;
    std::vector<PixelFormat> formats; // offered, the first preferred
    int bus = 0;

    bool video() const { return spec.kind != SpecKind::Usb; }
    DeviceKind kind() const;
    std::string devicePath() const;
    std::string sysPath() const;    // the video node (video inputs)
    std::string usbSysPath() const; // the USB device
    std::string description() const;
    bool stalledAt(uint32_t now) const;
};

struct RigState {
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<EventSpec> events; // sorted by time, file order kept
    size_t nextEvent = 0;
    std::optional<std::string> registryName;
    uint32_t lastTick = 0; // the clock at the last look
    uint32_t elapsed = 0;  // rig ms
    uint64_t generation = 0;
    std::vector<Request> requests;
    std::vector<BusAccess> bus;

    Device* byId(int id);
    Device* byName(const std::string& name);
};

// Globals of the one rig.
std::mutex& rigLock();
std::condition_variable& rigWake();
std::unique_ptr<RigState>& rigSlot();
uint32_t clockNow();
void clockSleep(uint32_t ms);
// Rig ms. Moves with the clock; a clock that goes back (another one was installed)
// continues from where the rig was.
uint32_t rigNow(RigState& rig);
// True when a time source was handed in (which may be virtual: waits poll it).
bool clockIsInstalled();
// Brings a device's stream queue up to rig time now; called before anything changes the
// sensor (frames off, stall, unplug), so the frames it took before still count.
void catchUpStream(Device& d, uint32_t now);

class Session
{
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    RigState* rig() { return rigSlot().get(); }
    std::unique_lock<std::mutex>& lock() { return m_lock; }
    std::vector<PlugEvent>& events() { return m_events; }
    // Releases the lock early and delivers what was collected.
    void finish();

private:
    std::unique_lock<std::mutex> m_lock;
    std::vector<PlugEvent> m_events;
    bool m_done = false;
};

// Applies one event now (under the lock); collects plug events.
void applyEvent(RigState& rig, Device& d, const EventSpec& e, std::vector<PlugEvent>& out);
void fireDue(RigState& rig, std::vector<PlugEvent>& out);
void deliverPlugEvents(const std::vector<PlugEvent>& events);
// Builds a rig from a parsed scenario; false with a message (eeprom files).
bool buildRig(const Scenario& sc, RigState& rig, std::string& error);
// A command line checked against the devices; false with a message.
bool runCommand(RigState& rig, const std::string& line, std::vector<PlugEvent>& out,
                std::string& error);

} // namespace scopesim
