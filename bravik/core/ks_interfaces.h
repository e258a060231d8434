// What the extension-unit code needs from the system: devices to enumerate, a capture filter
// per device, and the filter's property channels. Each transport implements these.
#pragma once

#include "bravik/core/ks_request.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
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

// One request issued to a kernel handle: it owns its data, so it may complete after the
// issuer stopped waiting for it.
class IoRequest
{
public:
    IoRequest(const KSP_NODE& request, const uint8_t* data, uint32_t size);

    const KSP_NODE& request() const { return m_request; }
    uint8_t* data() { return m_data.empty() ? nullptr : m_data.data(); }
    uint32_t size() const { return uint32_t(m_data.size()); }

    void complete(int32_t result, uint32_t bytesReturned);
    // False when the request has not completed within the time.
    bool waitFor(std::chrono::milliseconds time);
    bool done();
    int32_t result() const { return m_result; }
    uint32_t bytesReturned() const { return m_bytesReturned; }

private:
    KSP_NODE m_request;
    std::vector<uint8_t> m_data;
    std::mutex m_mutex;
    std::condition_variable m_completed;
    bool m_done = false;
    int32_t m_result = 0;
    uint32_t m_bytesReturned = 0;
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
