#include "bravik/core/threaded_kernel_handle.h"

#include <system_error>

namespace bravik
{

ThreadedKernelHandle::ThreadedKernelHandle(std::shared_ptr<IKsControl> channel)
    : m_channel(std::move(channel))
{
}

ThreadedKernelHandle::~ThreadedKernelHandle()
{
    for (auto& worker : m_workers)
        worker.first.join();
}

void ThreadedKernelHandle::reapFinished()
{
    for (size_t i = 0; i < m_workers.size();) {
        if (m_workers[i].second->done()) {
            m_workers[i].first.join();
            m_workers.erase(m_workers.begin() + long(i));
        } else {
            ++i;
        }
    }
}

std::shared_ptr<IoRequest> ThreadedKernelHandle::deviceIoControl(const KSP_NODE& request,
                                                                 const uint8_t* data, uint32_t size)
{
    reapFinished();
    auto io = std::make_shared<IoRequest>(request, data, size);
    try {
        std::thread worker([io, channel = m_channel] {
            uint32_t bytes = 0;
            int32_t result = channel->ksProperty(io->request(), sizeof(KSP_NODE), io->data(),
                                                 io->size(), &bytes);
            io->complete(result, bytes);
        });
        m_workers.emplace_back(std::move(worker), io);
    } catch (const std::system_error&) {
        return nullptr;
    }
    return io;
}

} // namespace bravik
