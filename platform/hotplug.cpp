#include "platform/hotplug.h"

#include <cstdio>

namespace platform
{

std::string composeInterfaceName(const std::string& devicePath, bool hasIds, uint16_t vid,
                                 uint16_t pid)
{
    if (!hasIds)
        return devicePath;
    char ids[32];
    std::snprintf(ids, sizeof ids, " USB\\VID_%04X&PID_%04X", vid, pid);
    return devicePath + ids;
}

} // namespace platform
