#include "sim/rig_state.h"

#include "platform/bounded_file.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

namespace scopesim
{

// ---- Globals ----------------------------------------------------------------------------

namespace
{

struct TimeSource {
    NowFn now;
    SleepFn sleep;
};

TimeSource& timeSource()
{
    static TimeSource t;
    return t;
}

std::mutex& listenerLock()
{
    static std::mutex m;
    return m;
}

std::map<int, std::function<void(const PlugEvent&)>>& listeners()
{
    static std::map<int, std::function<void(const PlugEvent&)>> l;
    return l;
}

uint32_t steadyMs()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint64_t g_generation = 0;

PlugEvent plugEvent(const Device& d, bool arrived)
{
    PlugEvent e;
    e.arrived = arrived;
    e.id = d.id;
    e.kind = d.kind();
    e.name = d.spec.name;
    e.vid = d.spec.vid;
    e.pid = d.spec.pid;
    if (d.video())
        e.sysPath = d.sysPath();
    return e;
}

// Frame sizes a camera offers: an explicit list as given; a single size also brings the
// usual smaller modes, as webcams have.
std::vector<FrameSize> offeredSizes(const DeviceSpec& s)
{
    if (s.sizes.size() != 1 || s.kind == SpecKind::Scope)
        return s.sizes;
    static const FrameSize common[] = {{1920, 1080}, {1280, 720}, {800, 600},
                                       {640, 480},   {640, 360},  {320, 240}};
    std::vector<FrameSize> out = s.sizes;
    const long area = static_cast<long>(s.sizes[0].width) * s.sizes[0].height;
    for (const FrameSize& c : common)
        if (static_cast<long>(c.width) * c.height < area && !(c == s.sizes[0]))
            out.push_back(c);
    return out;
}

bool loadEeprom(const DeviceSpec& s, std::vector<uint8_t>& out, std::string& error)
{
    if (s.eepromFile.empty())
        return true;
    std::string bytes, why;
    if (!files::readBoundedFile(s.eepromFile, kEepromMaxSize, bytes, &why)) {
        error = "cannot read eeprom file '" + files::printable(s.eepromFile) +
                "': " + files::printable(why);
        return false;
    }
    out.assign(bytes.begin(), bytes.end());
    return true;
}

void resetModels(Device& d, bool tubeIn, std::vector<uint8_t> eeprom)
{
    if (d.spec.kind == SpecKind::Scope)
        d.scope = std::make_unique<ScopeModel>(tubeIn, std::move(eeprom));
    else if (d.spec.kind == SpecKind::Em28xx)
        d.em = std::make_unique<Em28xxModel>();
}

bool startWith(const ParseResult& parsed, std::string* error)
{
    stop();
    if (!parsed.ok) {
        if (error)
            *error = parsed.error;
        return false;
    }
    auto rig = std::make_unique<RigState>();
    std::string problem;
    if (!buildRig(parsed.scenario, *rig, problem)) {
        if (error)
            *error = problem;
        return false;
    }
    std::lock_guard<std::mutex> g(rigLock());
    rig->generation = ++g_generation;
    rig->lastTick = clockNow();
    rigSlot() = std::move(rig);
    return true;
}

} // namespace

std::mutex& rigLock()
{
    static std::mutex m;
    return m;
}

std::condition_variable& rigWake()
{
    static std::condition_variable cv;
    return cv;
}

std::unique_ptr<RigState>& rigSlot()
{
    static std::unique_ptr<RigState> rig;
    return rig;
}

uint32_t clockNow()
{
    const TimeSource& t = timeSource();
    return t.now ? t.now() : steadyMs();
}

void clockSleep(uint32_t ms)
{
    const TimeSource& t = timeSource();
    if (t.sleep)
        t.sleep(ms);
    else if (ms == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool clockIsInstalled()
{
    return static_cast<bool>(timeSource().now);
}

uint32_t rigNow(RigState& rig)
{
    const uint32_t now = clockNow();
    const int32_t step = static_cast<int32_t>(now - rig.lastTick);
    if (step > 0)
        rig.elapsed += static_cast<uint32_t>(step);
    rig.lastTick = now;
    return rig.elapsed;
}

// ---- Devices ----------------------------------------------------------------------------

DeviceKind Device::kind() const
{
    switch (spec.kind) {
    case SpecKind::Camera:
        return DeviceKind::Camera;
    case SpecKind::Scope:
        return DeviceKind::Scope;
    case SpecKind::Em28xx:
        return DeviceKind::Em28xx;
    case SpecKind::Usb:
        break;
    }
    return DeviceKind::Usb;
}

std::string Device::devicePath() const
{
    return "scopesim:video" + std::to_string(videoNumber);
}

std::string Device::usbSysPath() const
{
    return "/devices/scopesim/usb1/1-" + std::to_string(id);
}

std::string Device::sysPath() const
{
    return usbSysPath() + "/1-" + std::to_string(id) + ":1.0/video4linux/video" +
           std::to_string(videoNumber);
}

std::string Device::description() const
{
    if (!spec.description.empty())
        return spec.description;
    return "usb-scopesim-1." + std::to_string(id);
}

bool Device::stalledAt(uint32_t now) const
{
    return stalled && static_cast<int32_t>(stallUntil - now) > 0;
}

Device* RigState::byId(int id)
{
    for (auto& d : devices)
        if (d->id == id)
            return d.get();
    return nullptr;
}

Device* RigState::byName(const std::string& name)
{
    if (name.empty())
        return nullptr;
    for (auto& d : devices)
        if (d->spec.name == name)
            return d.get();
    return nullptr;
}

bool buildRig(const Scenario& sc, RigState& rig, std::string& error)
{
    int id = 0, video = 0;
    for (const DeviceSpec& s : sc.devices) {
        auto d = std::make_unique<Device>();
        d->id = ++id;
        d->spec = s;
        d->plugged = s.plugged;
        d->plugCount = s.plugged ? 1 : 0;
        if (d->video()) {
            d->videoNumber = video++;
            d->sizes = offeredSizes(s);
            d->size = d->sizes.front();
            // A bus of its own unless the scenario puts devices on one.
            d->bus = s.bus > 0 ? s.bus : 1000 + d->id;
            if (s.yuyv)
                d->formats.push_back(PixelFormat::Yuyv);
            if (s.mjpeg)
                d->formats.push_back(PixelFormat::Mjpeg);
            d->stream.format = d->formats.front();
        }
        d->absent.insert(s.absentControls.begin(), s.absentControls.end());
        std::vector<uint8_t> eeprom;
        if (!loadEeprom(s, eeprom, error)) {
            error = std::to_string(s.line) + ": " + error;
            return false;
        }
        resetModels(*d, s.tubeIn, std::move(eeprom));
        if (d->plugged && s.stallAtPlugMs > 0) {
            d->stalled = true;
            d->stallUntil = rig.elapsed + s.stallAtPlugMs;
        }
        rig.devices.push_back(std::move(d));
    }
    rig.events = sc.events;
    std::stable_sort(rig.events.begin(), rig.events.end(),
                     [](const EventSpec& a, const EventSpec& b) { return a.atMs < b.atMs; });
    rig.registryName = sc.registryName;
    return true;
}

// ---- Sessions and events ----------------------------------------------------------------

Session::Session() : m_lock(rigLock())
{
    if (RigState* r = rig())
        fireDue(*r, m_events);
}

Session::~Session()
{
    finish();
}

void Session::finish()
{
    if (m_done)
        return;
    m_done = true;
    if (m_lock.owns_lock())
        m_lock.unlock();
    deliverPlugEvents(m_events);
}

void deliverPlugEvents(const std::vector<PlugEvent>& events)
{
    if (events.empty())
        return;
    std::vector<std::function<void(const PlugEvent&)>> copy;
    {
        std::lock_guard<std::mutex> g(listenerLock());
        for (auto& [token, fn] : listeners())
            copy.push_back(fn);
    }
    for (const PlugEvent& e : events)
        for (auto& fn : copy)
            fn(e);
}

void applyEvent(RigState& rig, Device& d, const EventSpec& e, std::vector<PlugEvent>& out)
{
    const uint32_t now = rigNow(rig);
    catchUpStream(d, now);
    switch (e.kind) {
    case EventKind::Plug:
        if (!d.plugged) {
            // A fresh power-up: the bus devices reset, the EEPROM keeps its contents.
            d.plugged = true;
            ++d.plugCount;
            d.framesOn = true;
            d.stalled = d.spec.stallAtPlugMs > 0;
            d.stallUntil = now + d.spec.stallAtPlugMs;
            if (d.scope)
                resetModels(d, d.scope->tubeIn(), d.scope->eeprom());
            else
                resetModels(d, true, {});
            out.push_back(plugEvent(d, true));
        }
        break;
    case EventKind::Unplug:
        if (d.plugged) {
            d.plugged = false;
            out.push_back(plugEvent(d, false));
            rigWake().notify_all();
        }
        break;
    case EventKind::Tube:
        if (d.scope)
            d.scope->setTube(e.on);
        break;
    case EventKind::Button:
        if (d.scope) {
            static const int codes[] = {1, 2, 3, 4};
            d.scope->pressButton(codes[static_cast<int>(e.button)], now + e.ms);
        } else if (d.em) {
            if (e.button == ButtonKind::Snapshot)
                d.em->pressSnapshot();
            else if (e.button == ButtonKind::Record)
                d.em->pressRecord(now + e.ms);
        }
        break;
    case EventKind::Stall:
        d.stalled = e.ms > 0;
        d.stallUntil = now + e.ms;
        rigWake().notify_all();
        break;
    case EventKind::Frames:
        d.framesOn = e.on;
        break;
    }
}

void fireDue(RigState& rig, std::vector<PlugEvent>& out)
{
    const uint32_t now = rigNow(rig);
    while (rig.nextEvent < rig.events.size() && rig.events[rig.nextEvent].atMs <= now) {
        const EventSpec& e = rig.events[rig.nextEvent++];
        if (Device* d = rig.byName(e.name))
            applyEvent(rig, *d, e, out);
    }
}

bool runCommand(RigState& rig, const std::string& line, std::vector<PlugEvent>& out,
                std::string& error)
{
    EventResult r = parseEventLine(line);
    if (!r.ok) {
        error = r.error;
        return false;
    }
    Device* d = rig.byName(r.event.name);
    if (!d) {
        error = "no device named \"" + r.event.name + "\"";
        return false;
    }
    const EventSpec& e = r.event;
    bool fits = true;
    if (e.kind == EventKind::Tube ||
        (e.kind == EventKind::Button &&
         (e.button == ButtonKind::LedUp || e.button == ButtonKind::LedDown)))
        fits = d->spec.kind == SpecKind::Scope;
    else if (e.kind == EventKind::Button)
        fits = d->spec.kind == SpecKind::Scope || d->spec.kind == SpecKind::Em28xx;
    if (!fits) {
        error = std::string("'") + eventWord(e.kind) + "' does not apply to \"" + e.name + "\"";
        return false;
    }
    applyEvent(rig, *d, e, out);
    return true;
}

// ---- Public C++ interface: lifecycle ------------------------------------------------------

void setTimeSource(NowFn now, SleepFn sleep)
{
    std::lock_guard<std::mutex> g(rigLock());
    // Keep the rig's elapsed time continuous across the change of clock.
    if (rigSlot())
        rigNow(*rigSlot());
    timeSource().now = std::move(now);
    timeSource().sleep = std::move(sleep);
    if (rigSlot())
        rigSlot()->lastTick = clockNow();
}

uint32_t rigTime()
{
    Session s;
    return s.rig() ? rigNow(*s.rig()) : 0;
}

uint32_t clockTimeOf(uint32_t rigMs)
{
    Session s;
    if (!s.rig())
        return clockNow();
    // One reading of the clock for both ends: another thread may move it at any moment.
    const uint32_t elapsed = rigNow(*s.rig());
    return s.rig()->lastTick - (elapsed - rigMs);
}

std::string defaultScenario()
{
    return "camera \"Integrated Camera\" size 1280x720 scene gradient\n"
           "scope \"USB Inspection Camera\" tube in\n";
}

// Far beyond any hand-written rig, far below what would hurt to hold.
constexpr size_t kScenarioMaxSize = 1024 * 1024;

bool startFile(const std::string& path, std::string* error)
{
    std::string text, why;
    if (!files::readBoundedFile(path, kScenarioMaxSize, text, &why)) {
        stop();
        if (error)
            *error = files::refusal(path, "cannot read the scenario file: " + why);
        return false;
    }
    std::string base = std::filesystem::path(path).parent_path().string();
    ParseResult parsed = parseScenario(text, path, base);
    bool ok = startWith(parsed, error);
    if (!ok && error && parsed.ok)
        *error = files::printable(path) + ":" + *error; // eeprom problems carry "N: ..."
    return ok;
}

bool startText(const std::string& text, const std::string& origin, std::string* error)
{
    ParseResult parsed = parseScenario(text, origin);
    bool ok = startWith(parsed, error);
    if (!ok && error && parsed.ok)
        *error = origin + ":" + *error;
    return ok;
}

bool startDefault()
{
    return startText(defaultScenario(), "<default rig>");
}

void stop()
{
    std::lock_guard<std::mutex> g(rigLock());
    rigSlot().reset();
    rigWake().notify_all();
}

bool running()
{
    std::lock_guard<std::mutex> g(rigLock());
    return rigSlot() != nullptr;
}

bool command(const std::string& line, std::string* error)
{
    Session s;
    std::string problem = "no rig is running";
    bool ok = s.rig() && runCommand(*s.rig(), line, s.events(), problem);
    if (!ok && error)
        *error = problem;
    return ok;
}

void poll()
{
    Session s;
}

void wait(uint32_t ms)
{
    // Sleep in steps so scripted events fire close to their time on a real clock.
    uint32_t start = clockNow();
    for (;;) {
        poll();
        uint32_t spent = clockNow() - start;
        if (spent >= ms)
            break;
        clockSleep(std::min<uint32_t>(ms - spent, 10));
    }
    poll();
}

int addPlugListener(std::function<void(const PlugEvent&)> listener)
{
    static int next = 0;
    std::lock_guard<std::mutex> g(listenerLock());
    int token = ++next;
    listeners()[token] = std::move(listener);
    return token;
}

void removePlugListener(int token)
{
    std::lock_guard<std::mutex> g(listenerLock());
    listeners().erase(token);
}

} // namespace scopesim
