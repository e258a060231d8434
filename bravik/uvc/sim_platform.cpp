#include "bravik/uvc/sim_platform.h"

#include "bravik/core/hresult.h"
#include "bravik/uvc/uvc_filter.h"

#include <cerrno>
#include <dlfcn.h>

namespace bravik
{
namespace
{

class SimChannel : public IUvcChannel
{
public:
    SimChannel(SimRigApi rig, int id) : m_rig(rig), m_id(id) {}
    int query(uint8_t unit, uint8_t selector, uint8_t query, uint16_t size, uint8_t* data) override
    {
        return m_rig.query(m_id, unit, selector, query, size, data);
    }

private:
    SimRigApi m_rig;
    int m_id;
};

bool readSimDescriptors(const SimRigApi& rig, int id, std::vector<uint8_t>& bytes)
{
    bytes.assign(4096, 0);
    int length = rig.descriptors(id, bytes.data(), int(bytes.size()));
    if (length < 0)
        return false;
    if (size_t(length) > bytes.size()) {
        bytes.assign(size_t(length), 0);
        length = rig.descriptors(id, bytes.data(), int(bytes.size()));
        if (length < 0 || size_t(length) > bytes.size())
            return false;
    }
    bytes.resize(size_t(length));
    return true;
}

template <class F> bool resolve(F& slot, const char* name)
{
    slot = reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
    return slot != nullptr;
}

} // namespace

std::optional<SimRigApi> findSimRig()
{
    SimRigApi rig{};
    if (!resolve(rig.running, "scopesim_running") ||
        !resolve(rig.deviceCount, "scopesim_xu_device_count") ||
        !resolve(rig.deviceId, "scopesim_xu_device_id") ||
        !resolve(rig.usbIds, "scopesim_xu_device_usb_ids") ||
        !resolve(rig.descriptors, "scopesim_xu_descriptors") ||
        !resolve(rig.query, "scopesim_xu_query"))
        return std::nullopt;
    if (rig.running() != 1)
        return std::nullopt;
    return rig;
}

std::vector<DeviceEntry> SimPlatform::listDevices()
{
    std::vector<DeviceEntry> entries;
    const int count = m_rig.deviceCount();
    for (int i = 0; i < count; ++i) {
        const int id = m_rig.deviceId(i);
        if (id <= 0)
            continue;
        int vid = 0, pid = 0;
        const std::string where = "scopesim/" + std::to_string(id);
        DeviceEntry entry;
        entry.displayName =
            m_rig.usbIds(id, &vid, &pid) == 0 ? composeDisplayName(vid, pid, where) : where;
        SimRigApi rig = m_rig;
        entry.readDescriptors = [rig, id](std::vector<uint8_t>& bytes) {
            return readSimDescriptors(rig, id, bytes);
        };
        entry.bind = [rig, id](std::shared_ptr<IBaseFilter>& filter) -> int32_t {
            std::vector<uint8_t> bytes;
            if (!readSimDescriptors(rig, id, bytes))
                return hresultFromError(ENODEV);
            filter = std::make_shared<UvcFilter>(std::make_shared<SimChannel>(rig, id),
                                                 parseUvcDescriptors(bytes.data(), bytes.size()));
            return S_OK;
        };
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace bravik
