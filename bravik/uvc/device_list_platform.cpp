#include "bravik/uvc/device_list_platform.h"

#include "bravik/core/hresult.h"

#include <cstdio>

namespace bravik
{
namespace
{

class EntryMoniker : public IDeviceMoniker
{
public:
    explicit EntryMoniker(DeviceEntry entry) : m_entry(std::move(entry)) {}
    int32_t getDisplayName(std::string& name) override
    {
        name = m_entry.displayName;
        return S_OK;
    }
    int32_t bindToObject(std::shared_ptr<IBaseFilter>& filter) override
    {
        return m_entry.bind ? m_entry.bind(filter) : E_FAIL;
    }

private:
    DeviceEntry m_entry;
};

class EntryEnumerator : public IEnumMoniker
{
public:
    explicit EntryEnumerator(std::vector<DeviceEntry> entries) : m_entries(std::move(entries)) {}
    int32_t next(std::unique_ptr<IDeviceMoniker>& moniker) override
    {
        if (m_next >= m_entries.size())
            return S_FALSE;
        moniker = std::make_unique<EntryMoniker>(std::move(m_entries[m_next++]));
        return S_OK;
    }

private:
    std::vector<DeviceEntry> m_entries;
    size_t m_next = 0;
};

} // namespace

std::string composeDisplayName(int vid, int pid, const std::string& where)
{
    char ids[32];
    std::snprintf(ids, sizeof ids, "USB\\VID_%04X&PID_%04X\\", unsigned(vid) & 0xFFFF,
                  unsigned(pid) & 0xFFFF);
    return ids + where;
}

int32_t DeviceListPlatform::createVideoInputEnumerator(std::unique_ptr<IEnumMoniker>& out)
{
    auto entries = listDevices();
    out.reset();
    if (!entries.empty())
        out = std::make_unique<EntryEnumerator>(std::move(entries));
    return S_OK;
}

} // namespace bravik
