#include "sim/rig_state.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <strings.h>
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
    std::error_code ec;
    auto size = std::filesystem::file_size(s.eepromFile, ec);
    std::ifstream in(s.eepromFile, std::ios::binary);
    if (ec || !in) {
        error = "cannot read eeprom file '" + s.eepromFile + "'";
        return false;
    }
    if (size > static_cast<uintmax_t>(kEepromMaxSize)) {
        error = "eeprom file '" + s.eepromFile + "' is larger than 64 KiB";
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), {});
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
        }
        d->absent.insert(s.absentControls.begin(), s.absentControls.end());
        std::vector<uint8_t> eeprom;
        if (!loadEeprom(s, eeprom, error)) {
            error = std::to_string(s.line) + ": " + error;
            return false;
        }
        resetModels(*d, s.tubeIn, std::move(eeprom));
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
    switch (e.kind) {
    case EventKind::Plug:
        if (!d.plugged) {
            // A fresh power-up: the bus devices reset, the EEPROM keeps its contents.
            d.plugged = true;
            ++d.plugCount;
            d.framesOn = true;
            d.stalled = false;
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

std::string defaultScenario()
{
    return "camera \"Integrated Camera\" size 1280x720 scene gradient\n"
           "scope \"USB Inspection Camera\" tube in\n";
}

bool startFile(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        stop();
        if (error)
            *error = path + ": cannot read the scenario file";
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::string base = std::filesystem::path(path).parent_path().string();
    ParseResult parsed = parseScenario(text, path, base);
    bool ok = startWith(parsed, error);
    if (!ok && error && parsed.ok)
        *error = path + ":" + *error; // eeprom problems carry "N: ..."
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

// ---- What is plugged ----------------------------------------------------------------------

namespace
{
VideoInputInfo infoOf(const Device& d)
{
    VideoInputInfo v;
    v.id = d.id;
    v.kind = d.kind();
    v.name = d.spec.name;
    v.description = d.description();
    v.devicePath = d.devicePath();
    v.sysPath = d.sysPath();
    v.vid = d.spec.vid;
    v.pid = d.spec.pid;
    v.width = d.size.width;
    v.height = d.size.height;
    v.fps = d.spec.fps;
    v.plugged = d.plugged;
    v.plugCount = d.plugCount;
    return v;
}
} // namespace

std::vector<VideoInputInfo> videoInputs()
{
    Session s;
    std::vector<VideoInputInfo> out;
    if (s.rig())
        for (auto& d : s.rig()->devices)
            if (d->video() && d->plugged)
                out.push_back(infoOf(*d));
    return out;
}

std::vector<UsbDeviceInfo> usbDevices()
{
    Session s;
    std::vector<UsbDeviceInfo> out;
    if (!s.rig())
        return out;
    for (auto& d : s.rig()->devices) {
        if (!d->plugged)
            continue;
        UsbDeviceInfo u;
        u.id = d->id;
        u.kind = d->kind();
        u.name = d->spec.name;
        u.vid = d->spec.vid;
        u.pid = d->spec.pid;
        u.rev = d->spec.rev;
        u.deviceClass = d->spec.deviceClass;
        u.subClass = d->spec.subClass;
        u.protocol = d->spec.protocol;
        u.interfaces = d->spec.kind == SpecKind::Usb      ? d->spec.interfaces
                       : d->spec.kind == SpecKind::Em28xx ? 1
                                                          : 2;
        u.sysPath = d->usbSysPath();
        out.push_back(u);
    }
    return out;
}

std::optional<VideoInputInfo> findVideoInput(const std::string& name)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byName(name) : nullptr;
    if (!d)
        return std::nullopt;
    return infoOf(*d);
}

std::optional<VideoInputInfo> videoInput(int id)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byId(id) : nullptr;
    if (!d || !d->video())
        return std::nullopt;
    return infoOf(*d);
}

bool isPlugged(const std::string& name)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byName(name) : nullptr;
    return d && d->plugged;
}

std::optional<std::string> registryValue(const std::string& key, const std::string& value)
{
    Session s;
    if (!s.rig() || !s.rig()->registryName)
        return std::nullopt;
    // Registry names compare without regard to case.
    if (strcasecmp(key.c_str(), "Software\\USB2800\\TwainDS") != 0 ||
        strcasecmp(value.c_str(), "RealDSName") != 0)
        return std::nullopt;
    return s.rig()->registryName;
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

// ---- Acting on devices --------------------------------------------------------------------

namespace
{
bool act(const std::string& name, const EventSpec& e)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byName(name) : nullptr;
    if (!d)
        return false;
    applyEvent(*s.rig(), *d, e, s.events());
    return true;
}

EventSpec event(EventKind kind)
{
    EventSpec e;
    e.kind = kind;
    return e;
}
} // namespace

bool pressButton(const std::string& name, Button button, uint32_t holdMs)
{
    EventSpec e = event(EventKind::Button);
    e.button = static_cast<ButtonKind>(button);
    e.ms = holdMs;
    {
        Session s;
        Device* d = s.rig() ? s.rig()->byName(name) : nullptr;
        if (!d || (!d->scope && !d->em) ||
            (d->em && (button == Button::LedUp || button == Button::LedDown)))
            return false;
    }
    return act(name, e);
}

bool setTube(const std::string& name, bool in)
{
    EventSpec e = event(EventKind::Tube);
    e.on = in;
    auto info = findVideoInput(name);
    return info && info->kind == DeviceKind::Scope && act(name, e);
}

bool plug(const std::string& name, bool plugged)
{
    return act(name, event(plugged ? EventKind::Plug : EventKind::Unplug));
}

bool stall(const std::string& name, uint32_t ms)
{
    EventSpec e = event(EventKind::Stall);
    e.ms = ms;
    return act(name, e);
}

bool setFrames(const std::string& name, bool on)
{
    EventSpec e = event(EventKind::Frames);
    e.on = on;
    return act(name, e);
}

bool setControlAbsent(const std::string& name, int selector, bool absent)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byName(name) : nullptr;
    if (!d || !d->scope || selector < 1 || selector > kControlCount)
        return false;
    if (absent)
        d->absent.insert(selector);
    else
        d->absent.erase(selector);
    return true;
}

// ---- Looking inside -------------------------------------------------------------------------

std::optional<uint16_t> busRegister(const std::string& scope, uint8_t device, uint16_t address)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byName(scope) : nullptr;
    if (!d || !d->scope)
        return std::nullopt;
    return d->scope->peek(device, address, rigNow(*s.rig()));
}

std::optional<ScopeState> scopeState(const std::string& scope)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byName(scope) : nullptr;
    if (!d || !d->scope)
        return std::nullopt;
    ScopeState st;
    st.tubeIn = d->scope->tubeIn();
    st.testPicture = d->scope->testPicture();
    st.boost = d->scope->boost();
    st.ledLevel = d->scope->ledLevel();
    st.ledSwitch = d->scope->ledSwitch();
    st.buttonCode = d->scope->buttonCode(rigNow(*s.rig()));
    return st;
}

std::vector<uint8_t> eeprom(const std::string& scope)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byName(scope) : nullptr;
    return d && d->scope ? d->scope->eeprom() : std::vector<uint8_t>{};
}

std::optional<uint8_t> em28xxRegister(const std::string& name, uint8_t reg)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byName(name) : nullptr;
    if (!d || !d->em)
        return std::nullopt;
    return d->em->reg(reg, rigNow(*s.rig()));
}

std::optional<uint16_t> em28xxIndirect(const std::string& name, uint8_t index)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byName(name) : nullptr;
    if (!d || !d->em)
        return std::nullopt;
    return d->em->indirect(index);
}

std::optional<uint8_t> em28xxI2c(const std::string& name, uint8_t address, uint8_t reg)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byName(name) : nullptr;
    if (!d || !d->em)
        return std::nullopt;
    return d->em->i2c(address, reg);
}

std::vector<Request> requestLog()
{
    Session s;
    return s.rig() ? s.rig()->requests : std::vector<Request>{};
}

void clearRequestLog()
{
    Session s;
    if (s.rig()) {
        s.rig()->requests.clear();
        s.rig()->bus.clear();
    }
}

std::vector<BusAccess> busLog()
{
    Session s;
    return s.rig() ? s.rig()->bus : std::vector<BusAccess>{};
}

} // namespace scopesim
