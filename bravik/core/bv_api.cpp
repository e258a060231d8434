#include "bravik/core/bv_api.h"

#include "bravik/core/create_xu.h"
#include "bravik/core/hresult.h"

#include <new>

namespace bravik
{

int uvcInitialize(IDevicePlatform& platform, FilterHolder** filterOut, CUVCXU** unitOut, int pid,
                  int vid, int* foundPid, int* foundVid, const XuOptions& options)
{
    if (!filterOut)
        return E_INVALIDARG;
    // Callers that do not want the found ids may pass null.
    int ignoredPid = -1, ignoredVid = -1;
    if (!foundPid)
        foundPid = &ignoredPid;
    if (!foundVid)
        foundVid = &ignoredVid;
    auto* holder = new (std::nothrow) FilterHolder;
    if (!holder)
        return E_OUTOFMEMORY;
    int result = OpenDevice(platform, pid, vid, holder, foundPid, foundVid);
    if (result < 0) {
        delete holder;
        return result;
    }
    *filterOut = holder;
    if (!unitOut)
        return E_INVALIDARG;
    if (!holder->filter)
        return E_FAIL;
    return CreateXU(holder->filter.get(), unitOut, options.configured, options.allocate);
}

void uvcRelease(FilterHolder** filter, CUVCXU** unit)
{
    if (!filter || !*filter)
        return;
    if (unit && *unit) {
        delete *unit;
        *unit = nullptr;
    }
    delete *filter;
    *filter = nullptr;
}

} // namespace bravik
