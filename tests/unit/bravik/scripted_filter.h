// A capture filter whose property requests a test answers itself, for the node search and
// the request rules below any transport.
#pragma once

#include "bravik/core/threaded_kernel_handle.h"

#include <functional>
#include <mutex>
#include <optional>

namespace bravik::test
{

struct SeenRequest {
    KSP_NODE request;
    uint32_t dataLength = 0;
    bool withData = false;
};

class ScriptedControl : public IKsControl
{
public:
    using Handler = std::function<int32_t(const KSP_NODE&, uint8_t* data, uint32_t dataLength,
                                          uint32_t* bytesReturned)>;
    int32_t ksProperty(const KSP_NODE& request, uint32_t, uint8_t* data, uint32_t dataLength,
                       uint32_t* bytesReturned) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_seen.push_back({request, dataLength, data != nullptr});
        }
        return handler ? handler(request, data, dataLength, bytesReturned) : 0;
    }
    std::vector<SeenRequest> seen()
    {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }
    Handler handler;

private:
    std::mutex m_mutex;
    std::vector<SeenRequest> m_seen;
};

class ScriptedFilter : public IBaseFilter
{
public:
    // withHandle: requests go through the threaded handle, else straight to the control.
    explicit ScriptedFilter(bool withHandle = true)
        : control(std::make_shared<ScriptedControl>()), m_withHandle(withHandle), m_handle(control)
    {
    }

    std::shared_ptr<IKsTopologyInfo> queryTopologyInfo() override
    {
        if (!topologyNodes)
            return nullptr;
        struct Topology : IKsTopologyInfo {
            uint32_t n;
            explicit Topology(uint32_t n) : n(n) {}
            int32_t numNodes(uint32_t* count) override
            {
                *count = n;
                return 0;
            }
        };
        return std::make_shared<Topology>(*topologyNodes);
    }
    std::shared_ptr<IKsControl> queryKsControl() override
    {
        return offerControl ? control : nullptr;
    }
    int32_t queryKsObjectHandle(IKernelHandle** handle) override
    {
        if (!m_withHandle)
            return int32_t(0x80004002);
        *handle = &m_handle;
        return 0;
    }

    std::shared_ptr<ScriptedControl> control;
    std::optional<uint32_t> topologyNodes;
    bool offerControl = true;

private:
    bool m_withHandle;
    ThreadedKernelHandle m_handle;
};

} // namespace bravik::test
