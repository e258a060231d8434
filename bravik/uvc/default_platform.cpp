#include "bravik/uvc/default_platform.h"

#include "bravik/uvc/sim_platform.h"
#include "bravik/uvc/uvcvideo_platform.h"

namespace bravik
{

std::unique_ptr<DeviceListPlatform> defaultPlatform()
{
    if (auto rig = findSimRig())
        return std::make_unique<SimPlatform>(*rig);
    return std::make_unique<UvcvideoPlatform>();
}

} // namespace bravik
