// The machine's video inputs (cameras), in the order the capture service opens them by index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform
{

struct VideoInput {
    std::string friendlyName;
    std::string description;
    std::string devicePath; // what the capture service opens
    bool hasUsbIds = false;
    uint16_t vid = 0;
    uint16_t pid = 0;
    std::string usbPath; // the USB device's sysfs folder (Linux), empty when not USB
};

class VideoInputList
{
public:
    virtual ~VideoInputList() = default;
    // Every capture-capable input, in device order; position = capture index.
    virtual std::vector<VideoInput> enumerate() = 0;
};

} // namespace platform
