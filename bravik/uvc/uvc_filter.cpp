#include "bravik/uvc/uvc_filter.h"

#include "bravik/core/hresult.h"

namespace bravik
{
namespace
{

class FixedTopology : public IKsTopologyInfo
{
public:
    explicit FixedTopology(uint32_t count) : m_count(count) {}
    int32_t numNodes(uint32_t* count) override
    {
        if (!count)
            return E_POINTER;
        *count = m_count;
        return S_OK;
    }

private:
    uint32_t m_count;
};

} // namespace

UvcFilter::UvcFilter(std::shared_ptr<IUvcChannel> channel, UvcDescriptors descriptors)
    : m_device(std::make_shared<UvcKsDevice>(std::move(channel), std::move(descriptors))),
      m_handle(m_device)
{
}

std::shared_ptr<IKsTopologyInfo> UvcFilter::queryTopologyInfo()
{
    if (!m_device->descriptors().hasVideoControl)
        return nullptr;
    return std::make_shared<FixedTopology>(m_device->descriptors().nodeCount());
}

int32_t UvcFilter::queryKsObjectHandle(IKernelHandle** handle)
{
    if (!handle)
        return E_POINTER;
    *handle = &m_handle;
    return S_OK;
}

} // namespace bravik
