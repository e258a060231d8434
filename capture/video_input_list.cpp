#include "capture/video_input_list.h"

#include "app/data_files.h"
#include "platform/services.h"

#include <cstring>

int CVideoInputList::countDevices()
{
    return static_cast<int>(platform::videoInputs().enumerate().size());
}

int CVideoInputList::deviceName(int index, char* name)
{
    std::vector<platform::VideoInput> inputs = platform::videoInputs().enumerate();
    if (index < 0 || index >= static_cast<int>(inputs.size()))
        return 1;
    const platform::VideoInput& in = inputs[static_cast<size_t>(index)];
    if (!in.description.empty())
        logLine("Preview refreshCamera() Camera(%d) Description(%s)\n", index,
                in.description.c_str());
    // Named once per search, so the log says why that camera will give no picture.
    if (!in.openError.empty())
        logLine("Preview refreshCamera() Camera(%d) %s\n", index, in.openError.c_str());
    // The name always fits and is always terminated; a longer one is cut.
    std::strncpy(name, in.friendlyName.c_str(), kNameBufferSize - 1);
    name[kNameBufferSize - 1] = '\0';
    return 1;
}

namespace
{
const char* const kBridgeIds[] = {
    "Vid_04fc&Pid_6333", "VID_04FC&PID_6333", "vid_04fc&pid_6333",
    "Vid_04fc&Pid_6335", "VID_04FC&PID_6335", "vid_04fc&pid_6335",
    "Vid_0bda&Pid_0169", "VID_0BDA&PID_0169", "vid_0bda&pid_0169",
};
} // namespace

int findBridgeIndex()
{
    std::vector<platform::UsbDevice> devices = platform::usbScan().scan();
    int counter = 0;
    logLine("Preview refreshCamera() DeviceInfo index(%d)\n", 0);
    for (size_t i = 0; i < devices.size(); ++i) {
        const platform::UsbDevice& d = devices[i];
        const std::string compatible =
            d.compatibleIds.empty() ? std::string() : d.compatibleIds.front();
        logLine("Preview refreshCamera() HardwareID2(%s)\n", compatible.c_str());
        if (compatible.find("DevClass_00&SubClass_00&Prot_00") != std::string::npos) {
            const std::string hardware =
                d.hardwareIds.empty() ? std::string() : d.hardwareIds.front();
            logLine("Preview refreshCamera() HardwareID(%s)\n", hardware.c_str());
            for (const char* id : kBridgeIds)
                if (hardware.find(id) != std::string::npos)
                    return counter;
            ++counter;
        }
        logLine("Preview refreshCamera() DeviceInfo index(%d)\n", static_cast<int>(i) + 1);
    }
    return -1;
}
