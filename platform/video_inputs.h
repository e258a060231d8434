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
    std::string driver;  // the kernel driver ("uvcvideo", "em28xx"), empty when unknown
    // Why the node cannot be opened ("Permission denied: the user is not in the video
    // group"); empty when it can. Such an input keeps its place, named without opening it.
    std::string openError;
};

// The text for a node that refused to open with err: a permission refusal by a group the
// user is not in says so (the usual cause: not in the video group), anything else is the
// system's text for err.
std::string describeOpenError(int err, bool userInNodeGroup, const std::string& nodeGroup);

class VideoInputList
{
public:
    virtual ~VideoInputList() = default;
    // Every capture-capable input, in device order; position = capture index.
    virtual std::vector<VideoInput> enumerate() = 0;
};

} // namespace platform
