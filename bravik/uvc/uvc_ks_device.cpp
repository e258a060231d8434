#include "bravik/uvc/uvc_ks_device.h"

#include "bravik/core/hresult.h"

#include <cerrno>
#include <cstring>

namespace bravik
{

UvcKsDevice::UvcKsDevice(std::shared_ptr<IUvcChannel> channel, UvcDescriptors descriptors)
    : m_channel(std::move(channel)), m_descriptors(std::move(descriptors))
{
}

int32_t UvcKsDevice::unitInformation(const ExtensionUnitDescriptor& unit, uint8_t* data,
                                     uint32_t size, uint32_t* bytesReturned)
{
    const uint32_t length = uint32_t(unit.raw.size());
    if (size == 0) {
        *bytesReturned = length;
        return kMoreData;
    }
    if (!data || size < length)
        return hresultFromError(ENOBUFS);
    std::memcpy(data, unit.raw.data(), length);
    *bytesReturned = length;
    return S_OK;
}

int32_t UvcKsDevice::ksProperty(const KSP_NODE& request, uint32_t requestLength, uint8_t* data,
                                uint32_t dataLength, uint32_t* bytesReturned)
{
    uint32_t ignored = 0;
    if (!bytesReturned)
        bytesReturned = &ignored;
    *bytesReturned = 0;
    if (requestLength < sizeof(KSP_NODE))
        return hresultFromError(EINVAL);
    const bool get = request.flags == kReadFlags;
    if (!get && request.flags != kWriteFlags)
        return hresultFromError(EINVAL);
    const ExtensionUnitDescriptor* unit = m_descriptors.find(request.nodeId, request.set);
    if (!unit)
        return hresultFromError(ENOENT);
    if (request.id == 0)
        return get ? unitInformation(*unit, data, dataLength, bytesReturned)
                   : hresultFromError(EINVAL);
    if (request.id > 0xFF)
        return hresultFromError(ENOENT);
    const uint8_t selector = uint8_t(request.id);
    if (get && dataLength == 0) {
        uint8_t length[2] = {};
        int e = m_channel->query(unit->unitId, selector, kUvcGetLen, sizeof length, length);
        if (e)
            return hresultFromError(e);
        *bytesReturned = uint32_t(length[0] | length[1] << 8);
        return kMoreData;
    }
    if (dataLength > 0xFFFF || (!data && dataLength))
        return hresultFromError(EINVAL);
    int e = m_channel->query(unit->unitId, selector, get ? kUvcGetCur : kUvcSetCur,
                             uint16_t(dataLength), data);
    if (e)
        return hresultFromError(e);
    *bytesReturned = dataLength;
    return S_OK;
}

} // namespace bravik
