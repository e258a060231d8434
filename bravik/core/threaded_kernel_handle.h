// A kernel handle over a blocking request channel: one worker thread serves the requests in
// the order they were issued. Each request owns a copy of its data, so a caller that gives
// up waiting leaves nothing behind that the late completion could write into.
#pragma once

#include "bravik/core/ks_interfaces.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace bravik
{

class ThreadedKernelHandle : public IKernelHandle
{
public:
    // Requests waiting behind a stuck one beyond this are refused at once: a device that
    // stopped answering must not make the queue (and the process) grow.
    static constexpr size_t kMaxWaiting = 16;

    explicit ThreadedKernelHandle(std::shared_ptr<IKsControl> channel);
    // Finishes the request in progress (it uses the channel); those not started fail.
    ~ThreadedKernelHandle() override;

    std::shared_ptr<IoRequest> deviceIoControl(const KSP_NODE& request, const uint8_t* data,
                                               uint32_t size) override;

private:
    void serve();

    std::shared_ptr<IKsControl> m_channel;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::shared_ptr<IoRequest>> m_waiting;
    bool m_stopping = false;
    std::thread m_worker; // started with the first request
};

} // namespace bravik
