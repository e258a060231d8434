// Property requests to one extension unit: its controls are sized, read and written here.
#pragma once

#include "bravik/core/ks_interfaces.h"

#include <memory>

namespace bravik
{

class IExtensionUnit
{
public:
    IExtensionUnit(const Guid& guid, uint32_t nodeId);
    virtual ~IExtensionUnit() = default;

    virtual int SetNodeId(uint32_t node);
    // Takes the property channels of a capture filter; the result of the handle query.
    virtual int Attach(IBaseFilter* filter);
    virtual int GetPropertySize(uint32_t id, uint32_t* size);
    virtual int GetProperty(uint32_t id, uint32_t size, uint8_t* buffer);
    virtual int SetProperty(uint32_t id, uint32_t size, const uint8_t* buffer);
    // Property 0: the unit information.
    virtual int GetInfo(uint32_t size, uint8_t* buffer);
    virtual int GetInfoSize(uint32_t* size);
    virtual int ReservedOperation(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

    uint32_t nodeId() const { return m_nodeId; }

private:
    int send(uint32_t id, uint32_t flags, uint8_t* buffer, uint32_t size, uint32_t* bytesReturned);
    int querySize(uint32_t id, uint32_t* size);

    uint32_t m_nodeId;
    Guid m_guid;
    std::shared_ptr<IKsControl> m_control;
    IKernelHandle* m_handle = nullptr; // the filter's, never closed here
};

} // namespace bravik
