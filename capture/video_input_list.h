// Which video inputs the machine has and what they are called, and where a known bridge
// chip sits among the USB devices.
#pragma once

constexpr int kNameBufferSize = 1024;

class CVideoInputList
{
public:
    // Number of video inputs; 0 when there are none.
    int countDevices();
    // 1 when the inputs could be listed. name (kNameBufferSize bytes) gets the friendly name of
    // input index; it is left as it was when there is no such input.
    int deviceName(int index, char* name);
};

// Capture index of the first class-00 USB device that is one of the known bridges, or -1.
int findBridgeIndex();
