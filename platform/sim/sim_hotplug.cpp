// The rig's plug events, carried to the GUI thread through an eventfd in the event loop.
#include "platform/fd_watch.h"
#include "platform/sim/sim_backends.h"

#include <scopesim/rig.h>

#include <wx/timer.h>

#include <deque>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform
{

namespace
{

constexpr int kPollMs = 50;

// Shared with the rig's listener, which may run on any thread and outlive the monitor.
struct ChangeQueue {
    int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::mutex lock;
    std::deque<DeviceChange> changes;

    ~ChangeQueue()
    {
        if (fd >= 0)
            ::close(fd);
    }
    void push(DeviceChange c)
    {
        {
            std::lock_guard<std::mutex> g(lock);
            changes.push_back(std::move(c));
        }
        uint64_t one = 1;
        ssize_t n = ::write(fd, &one, sizeof one);
        (void)n; // the counter only wakes the loop
    }
    std::deque<DeviceChange> take()
    {
        uint64_t count;
        ssize_t n = ::read(fd, &count, sizeof count);
        (void)n;
        std::lock_guard<std::mutex> g(lock);
        return std::exchange(changes, {});
    }
};

// Scripted events come due with time, so someone has to ask the rig now and then.
class RigPollTimer : public wxTimer
{
public:
    void Notify() override { scopesim::poll(); }
};

class SimHotplugMonitor : public HotplugMonitor
{
public:
    explicit SimHotplugMonitor(std::function<void(const DeviceChange&)> handler)
        : m_queue(std::make_shared<ChangeQueue>()), m_handler(std::move(handler)),
          m_watch(m_queue->fd, [this] { drain(); })
    {
        std::shared_ptr<ChangeQueue> q = m_queue;
        m_token = scopesim::addPlugListener([q](const scopesim::PlugEvent& e) {
            if (e.sysPath.empty())
                return;
            DeviceChange c;
            c.arrived = e.arrived;
            c.hasUsbIds = true;
            c.vid = e.vid;
            c.pid = e.pid;
            c.interfaceName = composeInterfaceName(e.sysPath, true, e.vid, e.pid);
            q->push(std::move(c));
        });
        m_timer.Start(kPollMs);
    }
    ~SimHotplugMonitor() override
    {
        m_timer.Stop();
        scopesim::removePlugListener(m_token);
    }
    bool active() const { return m_queue->fd >= 0 && m_watch.active(); }

private:
    void drain()
    {
        for (const DeviceChange& c : m_queue->take())
            m_handler(c);
    }

    std::shared_ptr<ChangeQueue> m_queue;
    std::function<void(const DeviceChange&)> m_handler;
    FdWatch m_watch;
    RigPollTimer m_timer;
    int m_token = 0;
};

class SimHotplug : public HotplugService
{
public:
    std::unique_ptr<HotplugMonitor> watch(std::function<void(const DeviceChange&)> handler) override
    {
        auto m = std::make_unique<SimHotplugMonitor>(std::move(handler));
        if (!m->active())
            return nullptr;
        return m;
    }
};

} // namespace

std::unique_ptr<HotplugService> makeSimHotplug()
{
    return std::make_unique<SimHotplug>();
}

} // namespace platform
