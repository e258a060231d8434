#include "bravik/core/extension_unit.h"

#include "bravik/core/dev_io_control.h"
#include "bravik/core/hresult.h"

namespace bravik
{

IExtensionUnit::IExtensionUnit(const Guid& guid, uint32_t nodeId) : m_nodeId(nodeId), m_guid(guid)
{
}

int IExtensionUnit::SetNodeId(uint32_t node)
{
    m_nodeId = node;
    return S_OK;
}

int IExtensionUnit::Attach(IBaseFilter* filter)
{
    if (!filter)
        return E_POINTER;
    m_control = filter->queryKsControl();
    m_handle = nullptr;
    IKernelHandle* handle = nullptr;
    int result = filter->queryKsObjectHandle(&handle);
    if (result >= 0)
        m_handle = handle;
    return result;
}

int IExtensionUnit::send(uint32_t id, uint32_t flags, uint8_t* buffer, uint32_t size,
                         uint32_t* bytesReturned)
{
    KSP_NODE request;
    request.set = m_guid;
    request.id = id;
    request.flags = flags;
    request.nodeId = m_nodeId;
    uint32_t ignored = 0;
    if (!bytesReturned)
        bytesReturned = &ignored;
    if (m_handle)
        return MyDevIoControl(m_handle, request, buffer, size, bytesReturned);
    if (m_control)
        return m_control->ksProperty(request, sizeof request, buffer, size, bytesReturned);
    return E_NOINTERFACE;
}

int IExtensionUnit::querySize(uint32_t id, uint32_t* size)
{
    if (!size)
        return E_POINTER;
    uint32_t bytes = 0;
    int result = send(id, kReadFlags, nullptr, 0, &bytes);
    if (result != kMoreData)
        return result;
    *size = bytes;
    return S_OK;
}

int IExtensionUnit::GetPropertySize(uint32_t id, uint32_t* size)
{
    return querySize(id, size);
}

int IExtensionUnit::GetProperty(uint32_t id, uint32_t size, uint8_t* buffer)
{
    return send(id, kReadFlags, buffer, size, nullptr);
}

int IExtensionUnit::SetProperty(uint32_t id, uint32_t size, const uint8_t* buffer)
{
    // Set requests never write through the pointer.
    return send(id, kWriteFlags, const_cast<uint8_t*>(buffer), size, nullptr);
}

int IExtensionUnit::GetInfo(uint32_t size, uint8_t* buffer)
{
    return send(0, kReadFlags, buffer, size, nullptr);
}

int IExtensionUnit::GetInfoSize(uint32_t* size)
{
    return querySize(0, size);
}

int IExtensionUnit::ReservedOperation(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t)
{
    return S_OK;
}

} // namespace bravik
