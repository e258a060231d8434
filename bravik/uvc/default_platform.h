// The rig when the host process runs one, else uvcvideo.
#pragma once

#include "bravik/uvc/device_list_platform.h"

#include <memory>

namespace bravik
{

std::unique_ptr<DeviceListPlatform> defaultPlatform();

} // namespace bravik
