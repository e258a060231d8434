// A capture filter over a UVC device: topology from its descriptors, property requests
// through its channel, synchronously or through a threaded kernel handle.
#pragma once

#include "bravik/core/threaded_kernel_handle.h"
#include "bravik/uvc/uvc_ks_device.h"

namespace bravik
{

class UvcFilter : public IBaseFilter
{
public:
    UvcFilter(std::shared_ptr<IUvcChannel> channel, UvcDescriptors descriptors);

    std::shared_ptr<IKsTopologyInfo> queryTopologyInfo() override;
    std::shared_ptr<IKsControl> queryKsControl() override { return m_device; }
    int32_t queryKsObjectHandle(IKernelHandle** handle) override;

private:
    std::shared_ptr<UvcKsDevice> m_device;
    ThreadedKernelHandle m_handle; // declared last: joins its requests before the rest goes
};

} // namespace bravik
