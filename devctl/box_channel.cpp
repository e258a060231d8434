#include "devctl/box_channel.h"

#include <condition_variable>
#include <deque>
#include <mutex>

struct BoxChannel::Ticket {
    Job job;
    bool ended = false;
    int result = 0;
};

struct BoxChannel::Shared {
    std::mutex mutex;
    std::condition_variable wake;  // the worker: a job or the stop
    std::condition_variable ended; // the window: a job ended
    std::deque<std::shared_ptr<Ticket>> jobs;
    size_t taken = 0; // taken and not yet ended
    bool failing = false;
    bool stopping = false;
    Clock::time_point quietUntil{};
};

BoxChannel::BoxChannel(std::chrono::milliseconds wait) : m_wait(wait), m_s(std::make_shared<Shared>())
{
    m_worker = std::thread(serve, m_s);
}

BoxChannel::~BoxChannel()
{
    if (m_worker.joinable())
        shutdown(std::chrono::hours(1));
}

void BoxChannel::serve(std::shared_ptr<Shared> s)
{
    std::unique_lock lock(s->mutex);
    for (;;) {
        s->wake.wait(lock, [&] { return s->stopping || !s->jobs.empty(); });
        if (s->jobs.empty())
            return; // stopping, and every job taken has run
        std::shared_ptr<Ticket> t = std::move(s->jobs.front());
        s->jobs.pop_front();
        lock.unlock();
        const int result = t->job();
        t->job = nullptr; // what it holds goes with it, on this thread
        lock.lock();
        t->ended = true;
        t->result = result;
        --s->taken;
        s->failing = result < 0;
        if (result < 0)
            s->quietUntil = Clock::now() + kBackOff;
        s->ended.notify_all();
    }
}

BoxChannel::Outcome BoxChannel::take(Job job, std::chrono::milliseconds wait, bool whateverRuns)
{
    auto t = std::make_shared<Ticket>();
    t->job = std::move(job);
    std::unique_lock lock(m_s->mutex);
    if (m_s->stopping)
        return Outcome::Refused;
    if (!whateverRuns && (m_s->taken > 0 || Clock::now() < m_s->quietUntil))
        return Outcome::Refused;
    m_s->jobs.push_back(t);
    ++m_s->taken;
    m_s->wake.notify_one();
    if (!m_s->ended.wait_for(lock, wait, [&] { return t->ended; }))
        return Outcome::Pending;
    return t->result < 0 ? Outcome::Failed : Outcome::Done;
}

BoxChannel::Outcome BoxChannel::run(Job job, std::chrono::milliseconds wait)
{
    return take(std::move(job), wait, false);
}

BoxChannel::Outcome BoxChannel::queue(Job job, std::chrono::milliseconds wait)
{
    return take(std::move(job), wait, true);
}

bool BoxChannel::ready()
{
    std::lock_guard lock(m_s->mutex);
    return m_s->taken == 0 && Clock::now() >= m_s->quietUntil;
}

bool BoxChannel::busy()
{
    std::lock_guard lock(m_s->mutex);
    return m_s->taken > 0;
}

bool BoxChannel::failing()
{
    std::lock_guard lock(m_s->mutex);
    return m_s->failing;
}

bool BoxChannel::shutdown(std::chrono::milliseconds wait)
{
    if (!m_worker.joinable())
        return true;
    bool finished = false;
    {
        std::unique_lock lock(m_s->mutex);
        m_s->stopping = true;
        m_s->wake.notify_one();
        finished = m_s->ended.wait_for(lock, wait, [&] { return m_s->taken == 0; });
    }
    if (finished)
        m_worker.join();
    else
        m_worker.detach();
    return finished;
}
