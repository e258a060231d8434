#include "bravik/core/threaded_kernel_handle.h"

#include "bravik/core/hresult.h"

#include <system_error>

namespace bravik
{

ThreadedKernelHandle::ThreadedKernelHandle(std::shared_ptr<IKsControl> channel)
    : m_channel(std::move(channel))
{
}

ThreadedKernelHandle::~ThreadedKernelHandle()
{
    std::deque<std::shared_ptr<IoRequest>> abandoned;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        abandoned.swap(m_waiting);
    }
    m_wake.notify_all();
    // Nobody waits for these any more; they fail before the running one is waited for.
    for (auto& io : abandoned)
        io->complete(E_FAIL, 0);
    if (m_worker.joinable())
        m_worker.join();
}

void ThreadedKernelHandle::serve()
{
    for (;;) {
        std::shared_ptr<IoRequest> io;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
            if (m_stopping)
                return;
            io = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        uint32_t bytes = 0;
        const int32_t result =
            m_channel->ksProperty(io->request(), sizeof(KSP_NODE), io->data(), io->size(), &bytes);
        io->complete(result, bytes);
    }
}

std::shared_ptr<IoRequest> ThreadedKernelHandle::deviceIoControl(const KSP_NODE& request,
                                                                 const uint8_t* data, uint32_t size)
{
    auto io = std::make_shared<IoRequest>(request, data, size);
    {
        std::lock_guard lock(m_mutex);
        if (m_waiting.size() >= kMaxWaiting)
            return nullptr;
        if (!m_worker.joinable()) {
            try {
                m_worker = std::thread([this] { serve(); });
            } catch (const std::system_error&) {
                return nullptr;
            }
        }
        m_waiting.push_back(io);
    }
    m_wake.notify_one();
    return io;
}

} // namespace bravik
