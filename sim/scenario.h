// Scenario files: one line a device or a timed event. Parsing only; the rig builds devices
// from the result.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace scopesim
{

enum class SpecKind { Camera, Scope, Em28xx, Usb };
enum class Scene { Pipe, Gradient, Black, Chart, Still };

struct FrameSize {
    int width = 0;
    int height = 0;
    bool operator==(const FrameSize&) const = default;
};

struct DeviceSpec {
    SpecKind kind = SpecKind::Camera;
    std::string name;
    std::string description;
    uint16_t vid = 0, pid = 0, rev = 0x0100;
    uint8_t deviceClass = 0, subClass = 0, protocol = 0;
    std::vector<FrameSize> sizes; // first: the default
    double fps = 30;
    Scene scene = Scene::Gradient;
    bool tubeIn = true;
    uint32_t stallAtPlugMs = 0; // the scope's unit stops answering for this long at each plug-in
    std::string eepromFile; // resolved against the scenario's folder
    std::vector<int> absentControls;
    int interfaces = 1; // plain USB devices
    int bus = 0;        // video inputs sharing a number share a USB 2.0 bus; 0: one of its own
    bool yuyv = true, mjpeg = true; // pixel formats offered, YUYV preferred
    // Class, subclass and protocol of a plain device's interfaces; unset: the device's own
    // class, or vendor-specific (FF/00/00) when that is 0.
    std::optional<std::array<uint8_t, 3>> interfaceClass;
    bool plugged = true;
    bool unopenable = false; // the user may not open its node
    int line = 0;
};

enum class EventKind { Plug, Unplug, Tube, Button, Stall, Frames };
enum class ButtonKind { Snapshot, Record, LedUp, LedDown };

struct EventSpec {
    uint32_t atMs = 0;
    EventKind kind = EventKind::Plug;
    std::string name;
    bool on = false; // tube in, frames on
    ButtonKind button = ButtonKind::Snapshot;
    uint32_t ms = 0; // button hold or stall length
    int line = 0;
};

struct Scenario {
    std::vector<DeviceSpec> devices; // in line order
    std::vector<EventSpec> events;   // in line order
    std::optional<std::string> registryName;
};

struct ParseResult {
    bool ok = false;
    std::string error; // "ORIGIN:LINE: problem"
    Scenario scenario;
};

// origin names the text in messages; baseDir resolves relative eeprom files.
ParseResult parseScenario(const std::string& text, const std::string& origin,
                          const std::string& baseDir = {});

struct EventResult {
    bool ok = false;
    std::string error;
    EventSpec event;
};
// One event line without "at MS" (a command); names are not checked here.
EventResult parseEventLine(const std::string& line);

const char* eventWord(EventKind kind);

} // namespace scopesim
