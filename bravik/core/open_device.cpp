#include "bravik/core/open_device.h"

#include "bravik/core/diagnostics.h"
#include "bravik/core/display_name.h"
#include "bravik/core/hresult.h"

namespace bravik
{

int OpenDevice(IDevicePlatform& platform, int pid, int vid, FilterHolder* holder, int* foundPid,
               int* foundVid)
{
    std::unique_ptr<IEnumMoniker> devices;
    int result = platform.createVideoInputEnumerator(devices);
    if (result < 0)
        return result;
    if (!devices)
        return E_FAIL;
    *foundPid = -1;
    *foundVid = -1;
    const bool wildcard = pid == -1 || vid == -1;
    std::unique_ptr<IDeviceMoniker> chosen;
    std::unique_ptr<IDeviceMoniker> remembered;
    std::unique_ptr<IDeviceMoniker> moniker;
    while (devices->next(moniker) == S_OK && moniker) {
        std::string name;
        if (moniker->getDisplayName(name) >= 0) {
            parseDisplayIds(name, foundPid, foundVid);
            diagPrint("OpenDevice : ");
            diagPrint("Device VID/PID = 0x%04x/0x%04x", unsigned(*foundVid), unsigned(*foundPid));
        }
        if (wildcard) {
            if (*foundVid == kFamilyVendorId) {
                chosen = std::move(moniker);
                break;
            }
            remembered = std::move(moniker);
        } else if (*foundPid == pid && *foundVid == vid) {
            chosen = std::move(moniker);
            break;
        }
    }
    if (!chosen && wildcard)
        chosen = std::move(remembered);
    if (!chosen)
        return E_FAIL;
    // A failed binding leaves the holder empty, which the caller reports.
    std::shared_ptr<IBaseFilter> filter;
    chosen->bindToObject(filter);
    if (holder)
        holder->filter = std::move(filter);
    return S_OK;
}

} // namespace bravik
