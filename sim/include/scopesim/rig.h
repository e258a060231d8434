// The simulated scope rig, C++ side: what the project's tests and the viewer's sim backends
// use. There is one rig per process (the C interface in scopesim.h drives the same one).
// Every call fires the scripted events that are due on the rig clock first.
#pragma once

#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace scopesim
{

// ---- Time -------------------------------------------------------------------------------
// The rig never reads a clock of its own choosing: it is handed one. Empty functions put
// back real steady time. now() must be callable from any thread.
using NowFn = std::function<uint32_t()>;
using SleepFn = std::function<void(uint32_t)>;
void setTimeSource(NowFn now, SleepFn sleep);
// Milliseconds of the rig clock since the rig started (0 when none runs).
uint32_t rigTime();
// The time source's reading at rig time rigMs.
uint32_t clockTimeOf(uint32_t rigMs);

// ---- Lifecycle ----------------------------------------------------------------------------
// Each returns false with a message "FILE:LINE: problem" in *error (nothing started) when
// the scenario is bad. A running rig is stopped first.
bool startFile(const std::string& path, std::string* error = nullptr);
bool startText(const std::string& text, const std::string& origin = "<scenario>",
               std::string* error = nullptr);
bool startDefault();
void stop();
bool running();
// One event line without its "at MS" prefix, applied now.
bool command(const std::string& line, std::string* error = nullptr);
// Fires the scripted events that are due; the viewer calls it from its loop.
void poll();
// Sleeps ms on the rig clock, firing events as they come due.
void wait(uint32_t ms);

// The default rig's scenario text (a laptop webcam, then the scope with its tube in).
std::string defaultScenario();

// ---- What is plugged -----------------------------------------------------------------------
enum class DeviceKind { Camera, Scope, Em28xx, Usb };

struct VideoInputInfo {
    int id = 0; // stable for the rig's lifetime, > 0
    DeviceKind kind = DeviceKind::Camera;
    std::string name;        // friendly name
    std::string description; // like a bus-info text
    std::string devicePath;  // "scopesim:videoN"
    std::string sysPath;     // sysfs-like device path of its video node
    uint16_t vid = 0, pid = 0;
    int width = 0, height = 0; // current frame size
    double fps = 0;
    bool plugged = true;
    uint32_t plugCount = 0;  // how often it was plugged in; a capture opened before is dead
    bool unopenable = false; // its node refuses the user (no access to the video group)
};

struct UsbDeviceInfo {
    int id = 0;
    DeviceKind kind = DeviceKind::Usb;
    std::string name; // the video input's name, empty for plain USB devices
    uint16_t vid = 0, pid = 0, rev = 0;
    uint8_t deviceClass = 0, subClass = 0, protocol = 0;
    int interfaces = 1;
    // The first interface (what a single-interface device of class 0 is known by).
    uint8_t interfaceClass = 0, interfaceSubClass = 0, interfaceProtocol = 0;
    std::string sysPath;
};

// Plugged video inputs, in rig order (the order of their scenario lines).
std::vector<VideoInputInfo> videoInputs();
// Plugged USB devices (video inputs included), in rig order.
std::vector<UsbDeviceInfo> usbDevices();
// Any device of the rig by name, plugged or not.
std::optional<VideoInputInfo> findVideoInput(const std::string& name);
bool isPlugged(const std::string& name);
std::optional<VideoInputInfo> videoInput(int id);
// A registry value the rig offers (the EM28xx driver's configured name), if any.
std::optional<std::string> registryValue(const std::string& key, const std::string& value);

// ---- Plug events ---------------------------------------------------------------------------
struct PlugEvent {
    bool arrived = false;
    int id = 0;
    DeviceKind kind = DeviceKind::Camera;
    std::string name;
    uint16_t vid = 0, pid = 0;
    std::string sysPath; // empty for plain USB devices
};
// The listener runs on whichever thread fired the event, with no rig lock held.
int addPlugListener(std::function<void(const PlugEvent&)> listener);
void removePlugListener(int token);

// ---- Frames ---------------------------------------------------------------------------------
// The current frame of a video input (BGR, CV_8UC3). False (and an empty out) when the
// device is unplugged, its frames are off or the id is unknown.
bool grabFrame(int id, cv::Mat& out);
// Asks for a frame size; the device takes the nearest size it supports. Returns false
// when unplugged. The size read back through videoInputs() is the one in force.
bool setFrameSize(int id, int width, int height);
// Frame sizes the device offers, first the default.
std::vector<std::pair<int, int>> frameSizes(int id);

// ---- Acting on devices (by name), as a user at the desk would ----------------------------
enum class Button { Snapshot, Record, LedUp, LedDown };
bool pressButton(const std::string& name, Button button, uint32_t holdMs = 200);
bool setTube(const std::string& name, bool in);
bool plug(const std::string& name, bool plugged);
bool stall(const std::string& name, uint32_t ms);
bool setFrames(const std::string& name, bool on);
// Makes an extension-unit control absent (or present again); the device's descriptors
// follow, as if the bridge firmware had been built without it.
bool setControlAbsent(const std::string& name, int selector, bool absent);

// ---- Looking inside (never logged, never affected by faults) -------------------------
// A register of a device behind the scope's bridge (0x7A, 0xDC, 0xA0, 0x00).
std::optional<uint16_t> busRegister(const std::string& scope, uint8_t device, uint16_t address);
struct ScopeState {
    bool tubeIn = false;
    bool testPicture = false; // colour bars on
    bool boost = false;
    int ledLevel = 0;
    bool ledSwitch = false;
    int buttonCode = 0;
};
std::optional<ScopeState> scopeState(const std::string& scope);
std::vector<uint8_t> eeprom(const std::string& scope);
std::optional<uint8_t> em28xxRegister(const std::string& name, uint8_t reg);
std::optional<uint16_t> em28xxIndirect(const std::string& name, uint8_t index);
std::optional<uint8_t> em28xxI2c(const std::string& name, uint8_t address, uint8_t reg);

// ---- Request log -------------------------------------------------------------------------
enum class RequestKind { Xu, Em28xxSet, Em28xxGet };
struct Request {
    uint32_t atMs = 0;
    int deviceId = 0;
    RequestKind kind = RequestKind::Xu;
    uint8_t unit = 0, selector = 0, query = 0; // extension-unit requests
    uint32_t property = 0;                     // EM28xx property requests
    std::vector<uint8_t> data;                 // sent (SET) or returned (GET)
    int result = 0;                            // errno for Xu, result code for EM28xx
};
// The most recent requests (at least the last kRecentLogEntries), oldest first.
constexpr size_t kRecentLogEntries = 8192;
std::vector<Request> requestLog();
void clearRequestLog();

// Register transfers as the devices behind the scope's bridge saw them.
struct BusAccess {
    uint32_t atMs = 0;
    int deviceId = 0;
    bool write = false;
    uint8_t device = 0;
    uint16_t address = 0;
    uint16_t value = 0;
    bool block = false;             // a 16-byte EEPROM block
    std::vector<uint8_t> blockData; // its bytes
};
// The most recent transfers, as requestLog() keeps them.
std::vector<BusAccess> busLog();

// ---- The EM28xx driver's property interface ----------------------------------------------
// Requests as the driver takes them; data points at the structures below (0x1005, 0x1007)
// or at the data bytes (0x1006, 0x1008), or at a uint32_t (0x1027, 0x1028).
struct Em28xxRegisterRequest {
    uint32_t selector = 0; // (register << 8) | length, 0 deselects
    uint32_t length = 0;
    uint8_t* data = nullptr;
};
struct Em28xxI2cRequest {
    uint32_t selector = 0; // 0x01000000 | (address << 16) | (register << 8) | length
    uint8_t* data = nullptr;
    uint32_t write = 0; // 1: write
};
constexpr int32_t kEmFail = static_cast<int32_t>(0x80004005);
constexpr int32_t kEmNotConnected = static_cast<int32_t>(0x8007048F);
constexpr int32_t kEmTimeout = static_cast<int32_t>(0x80070079);
constexpr int32_t kEmInvalidArg = static_cast<int32_t>(0x80070057);
constexpr int32_t kEmNotSelected = static_cast<int32_t>(0x8000FFFF);
// True when the id is an EM28xx video input (plugged or not).
bool isEm28xx(int id);
int32_t em28xxSetProperty(int id, uint32_t property, void* data);
int32_t em28xxGetProperty(int id, uint32_t property, void* data);

} // namespace scopesim
