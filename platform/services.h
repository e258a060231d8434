// The hardware services in use. The Linux backends serve until the program chooses
// otherwise at start (the simulated rig for --simulate).
#pragma once

#include "platform/capture.h"
#include "platform/em28xx.h"
#include "platform/hotplug.h"
#include "platform/registry.h"
#include "platform/usb_scan.h"
#include "platform/video_inputs.h"

#include <string>

namespace platform
{

enum class Backend { Linux, Sim };

VideoInputList& videoInputs();
CaptureFactory& captures();
UsbScan& usbScan();
HotplugService& hotplug();
Em28xxAccess& em28xx();
Registry& registry();

// The Linux backends reading the system below root ("/" normally; a fake tree in tests).
void useLinuxBackends(const std::string& root = "/");
void useSimBackends();
Backend backend();

} // namespace platform
