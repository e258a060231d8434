// The rig's devices from outside: what is plugged, acting on devices as a user would, and
// looking inside them for tests.
#include "sim/rig_state.h"
#include "sim/usb_descriptors.h"

#include <strings.h>

namespace scopesim
{

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
    v.unopenable = d.spec.unopenable;
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
        // A UVC camera's first interface is its VideoControl; the EM28xx's is vendor-specific.
        const bool uvc = d->spec.kind == SpecKind::Camera || d->spec.kind == SpecKind::Scope;
        const std::array<uint8_t, 3> itf =
            uvc ? std::array<uint8_t, 3>{0x0E, 0x01, 0x00} : plainInterfaceClass(d->spec);
        u.interfaceClass = itf[0];
        u.interfaceSubClass = itf[1];
        u.interfaceProtocol = itf[2];
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
