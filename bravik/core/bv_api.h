// What the exports do, on a given device platform (the exports pass the system's).
#pragma once

#include "bravik/core/open_device.h"
#include "bravik/core/uvc_xu.h"

namespace bravik
{

struct XuOptions {
    Guid configured = kConfiguredXuGuid;
    BufferAllocator allocate = allocateControlBuffer;
};

int uvcInitialize(IDevicePlatform& platform, FilterHolder** filterOut, CUVCXU** unitOut, int pid,
                  int vid, int* foundPid, int* foundVid, const XuOptions& options = {});
void uvcRelease(FilterHolder** filter, CUVCXU** unit);

} // namespace bravik
