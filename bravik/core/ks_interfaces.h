// What the extension-unit code needs from the system: devices to enumerate, a capture filter
// per device, and the filter's property channels. Each transport implements these.
#pragma once

#include "bravik/core/io_request.h"
#include "bravik/core/ks_request.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bravik
{

// Synchronous property requests on a filter.
class IKsControl
{
public:
    virtual ~IKsControl() = default;
    // data may be null with dataLength 0 (a size query). Set requests do not write data.
    virtual int32_t ksProperty(const KSP_NODE& request, uint32_t requestLength, uint8_t* data,
                               uint32_t dataLength, uint32_t* bytesReturned) = 0;
};

class IKsTopologyInfo
{
public:
    virtual ~IKsTopologyInfo() = default;
    virtual int32_t numNodes(uint32_t* count) = 0;
};

// The filter's kernel handle: requests run on their own and complete later.
class IKernelHandle
{
public:
    virtual ~IKernelHandle() = default;
    // Null when the request could not be started.
    virtual std::shared_ptr<IoRequest> deviceIoControl(const KSP_NODE& request, const uint8_t* data,
                                                       uint32_t size) = 0;
};

// A bound video-input device.
class IBaseFilter
{
public:
    virtual ~IBaseFilter() = default;
    // Null when the filter has no topology.
    virtual std::shared_ptr<IKsTopologyInfo> queryTopologyInfo() = 0;
    virtual std::shared_ptr<IKsControl> queryKsControl() = 0;
    // The handle stays the filter's; E_NOINTERFACE when it has none.
    virtual int32_t queryKsObjectHandle(IKernelHandle** handle) = 0;
};

class IDeviceMoniker
{
public:
    virtual ~IDeviceMoniker() = default;
    virtual int32_t getDisplayName(std::string& name) = 0;
    virtual int32_t bindToObject(std::shared_ptr<IBaseFilter>& filter) = 0;
};

class IEnumMoniker
{
public:
    virtual ~IEnumMoniker() = default;
    // S_OK with the next device, S_FALSE at the end.
    virtual int32_t next(std::unique_ptr<IDeviceMoniker>& moniker) = 0;
};

// The system's video-input devices.
class IDevicePlatform
{
public:
    virtual ~IDevicePlatform() = default;
    // A negative result when enumeration is impossible; S_OK with no enumerator when there
    // is no video input at all.
    virtual int32_t createVideoInputEnumerator(std::unique_ptr<IEnumMoniker>& out) = 0;
};

} // namespace bravik
