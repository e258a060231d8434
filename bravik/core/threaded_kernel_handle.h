// A kernel handle over a blocking request channel: each request runs on a worker thread
// that owns a copy of the request's data, so a caller that gives up waiting leaves nothing
// behind that the late completion could write into.
#pragma once

#include "bravik/core/ks_interfaces.h"

#include <thread>
#include <utility>

namespace bravik
{

class ThreadedKernelHandle : public IKernelHandle
{
public:
    explicit ThreadedKernelHandle(std::shared_ptr<IKsControl> channel);
    // Waits for requests still running: they use the channel.
    ~ThreadedKernelHandle() override;

    std::shared_ptr<IoRequest> deviceIoControl(const KSP_NODE& request, const uint8_t* data,
                                               uint32_t size) override;

private:
    void reapFinished();

    std::shared_ptr<IKsControl> m_channel;
    std::vector<std::pair<std::thread, std::shared_ptr<IoRequest>>> m_workers;
};

} // namespace bravik
