// The simulated backends: every service answered by the scope rig of libscopesim.
#pragma once

#include "platform/services.h"

#include <memory>

namespace platform
{

std::unique_ptr<VideoInputList> makeSimVideoInputs();
std::unique_ptr<CaptureFactory> makeSimCaptures();
std::unique_ptr<UsbScan> makeSimUsbScan();
std::unique_ptr<HotplugService> makeSimHotplug();
std::unique_ptr<Em28xxAccess> makeSimEm28xx();
std::unique_ptr<Registry> makeSimRegistry();

} // namespace platform
