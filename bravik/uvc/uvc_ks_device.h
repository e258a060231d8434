// Node property requests carried out as UVC extension-unit queries: node id = unit id,
// size query = GET_LEN, read = GET_CUR, write = SET_CUR, property 0 = the unit's descriptor.
#pragma once

#include "bravik/core/ks_interfaces.h"
#include "bravik/uvc/descriptor_parser.h"
#include "bravik/uvc/uvc_channel.h"

#include <memory>

namespace bravik
{

class UvcKsDevice : public IKsControl
{
public:
    UvcKsDevice(std::shared_ptr<IUvcChannel> channel, UvcDescriptors descriptors);

    // Only units the descriptors list with the request's property set are addressed.
    int32_t ksProperty(const KSP_NODE& request, uint32_t requestLength, uint8_t* data,
                       uint32_t dataLength, uint32_t* bytesReturned) override;

    const UvcDescriptors& descriptors() const { return m_descriptors; }

private:
    int32_t unitInformation(const ExtensionUnitDescriptor& unit, uint8_t* data, uint32_t size,
                            uint32_t* bytesReturned);

    std::shared_ptr<IUvcChannel> m_channel;
    const UvcDescriptors m_descriptors;
};

} // namespace bravik
