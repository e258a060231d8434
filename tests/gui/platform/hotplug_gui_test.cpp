// Hot-plug notifications arriving through the toolkit's event loop on the GUI thread.
#include "platform/clock.h"
#include "platform/linux/linux_backends.h"
#include "platform/services.h"
#include "support/rig_session.h"

#include <scopesim/rig.h>

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/evtloop.h>

#include <chrono>
#include <deque>
#include <thread>
#include <unistd.h>

namespace
{

// Tests run on the thread that made the application object.
const std::thread::id g_guiThread = std::this_thread::get_id();

// Runs the event loop until pred holds or a (real-time) limit passes.
template <typename P> bool pumpLoopUntil(P pred, int limitMs = 3000)
{
    wxGUIEventLoop loop;
    wxEventLoopActivator active(&loop);
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        loop.DispatchTimeout(10);
    }
    return true;
}

void pumpFor(int ms)
{
    pumpLoopUntil([] { return false; }, ms);
}

struct Seen {
    std::vector<platform::DeviceChange> changes;
    bool offThread = false;
    std::function<void(const platform::DeviceChange&)> handler()
    {
        return [this](const platform::DeviceChange& c) {
            if (std::this_thread::get_id() != g_guiThread)
                offThread = true;
            changes.push_back(c);
        };
    }
};

class SimHotplug : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(scopesim::startText("camera \"Integrated Camera\"\n"
                                        "scope \"USB Inspection Camera\"\n"
                                        "at 1000 unplug \"USB Inspection Camera\"\n"
                                        "at 2000 plug \"USB Inspection Camera\"\n"
                                        "at 3000 unplug \"Integrated Camera\"\n",
                                        "hotplug", &error))
            << error;
        platform::useSimBackends();
    }
    void TearDown() override
    {
        platform::useLinuxBackends();
        scopesim::stop();
    }
    RigTime time;
    platform::VirtualClock* const clock = time.clock;
};

} // namespace

TEST_F(SimHotplug, RigEventsArriveOnTheGuiThreadWithTheBridgeIdsInTheName)
{
    Seen seen;
    auto monitor = platform::hotplug().watch(seen.handler());
    ASSERT_NE(monitor, nullptr);
    pumpFor(20);
    EXPECT_TRUE(seen.changes.empty());

    clock->advance(1000);
    scopesim::poll();
    ASSERT_TRUE(pumpLoopUntil([&] { return seen.changes.size() == 1; }));
    EXPECT_FALSE(seen.changes[0].arrived);
    EXPECT_NE(seen.changes[0].interfaceName.find("VID_05E3"), std::string::npos);
    EXPECT_NE(seen.changes[0].interfaceName.find("PID_0510"), std::string::npos);

    // An event fired from another thread (a worker asking the rig) still arrives here.
    clock->advance(1000);
    std::thread([] { scopesim::poll(); }).join();
    ASSERT_TRUE(pumpLoopUntil([&] { return seen.changes.size() == 2; }));
    EXPECT_TRUE(seen.changes[1].arrived);

    clock->advance(1000);
    scopesim::poll();
    ASSERT_TRUE(pumpLoopUntil([&] { return seen.changes.size() == 3; }));
    EXPECT_EQ(seen.changes[2].interfaceName.find("VID_05E3"), std::string::npos);
    EXPECT_FALSE(seen.offThread);
}

TEST_F(SimHotplug, TheMonitorAsksTheRigByItselfWhenNobodyElseDoes)
{
    Seen seen;
    auto monitor = platform::hotplug().watch(seen.handler());
    ASSERT_NE(monitor, nullptr);
    clock->advance(1000); // nothing calls the rig: the monitor's own poll fires the event
    ASSERT_TRUE(pumpLoopUntil([&] { return !seen.changes.empty(); }));
    EXPECT_FALSE(seen.changes[0].arrived);
}

TEST_F(SimHotplug, NothingArrivesAfterTheMonitorIsGone)
{
    Seen seen;
    auto monitor = platform::hotplug().watch(seen.handler());
    ASSERT_NE(monitor, nullptr);
    monitor.reset();
    clock->advance(1000);
    scopesim::poll();
    pumpFor(150);
    EXPECT_TRUE(seen.changes.empty());
}

namespace
{

// udev events fed through a pipe, the way the netlink socket wakes the loop.
class PipeSource : public platform::UdevEventSource
{
public:
    PipeSource()
    {
        if (pipe(m_fds) != 0)
            m_fds[0] = m_fds[1] = -1;
    }
    ~PipeSource() override
    {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    int fd() const override { return m_fds[0]; }
    std::optional<platform::UdevEvent> receive() override
    {
        if (m_events.empty())
            return std::nullopt;
        char c;
        ssize_t n = ::read(m_fds[0], &c, 1);
        (void)n;
        auto e = m_events.front();
        m_events.pop_front();
        return e;
    }
    void send(platform::UdevEvent e)
    {
        m_events.push_back(std::move(e));
        ssize_t n = ::write(m_fds[1], "x", 1);
        (void)n;
    }

private:
    int m_fds[2];
    std::deque<platform::UdevEvent> m_events;
};

} // namespace

TEST(UdevHotplug, EventsFromTheMonitorFdReachTheHandlerComposed)
{
    auto source = std::make_unique<PipeSource>();
    PipeSource* feed = source.get();
    Seen seen;
    auto monitor = platform::watchUdevSource(std::move(source), seen.handler());
    ASSERT_NE(monitor, nullptr);
    feed->send({"add", "/devices/pci0000:00/usb1/1-2/1-2:1.0/video4linux/video0", "05e3", "0510"});
    feed->send(
        {"change", "/devices/pci0000:00/usb1/1-2/1-2:1.0/video4linux/video0", "05e3", "0510"});
    feed->send(
        {"remove", "/devices/pci0000:00/usb1/1-5/1-5:1.0/video4linux/video2", "2a3c", "0001"});
    ASSERT_TRUE(pumpLoopUntil([&] { return seen.changes.size() == 2; }));
    pumpFor(30);
    ASSERT_EQ(seen.changes.size(), 2u);
    EXPECT_TRUE(seen.changes[0].arrived);
    EXPECT_EQ(seen.changes[0].interfaceName,
              "/devices/pci0000:00/usb1/1-2/1-2:1.0/video4linux/video0 USB\\VID_05E3&PID_0510");
    EXPECT_FALSE(seen.changes[1].arrived);
    EXPECT_EQ(seen.changes[1].interfaceName,
              "/devices/pci0000:00/usb1/1-5/1-5:1.0/video4linux/video2 USB\\VID_2A3C&PID_0001");
    EXPECT_FALSE(seen.offThread);
}

TEST(UdevHotplug, TheRealMonitorJoinsTheLoop)
{
    platform::useLinuxBackends();
    Seen seen;
    auto monitor = platform::hotplug().watch(seen.handler());
    if (!monitor)
        GTEST_SKIP() << "no udev netlink socket here";
    pumpFor(20); // this machine's quiet bus: nothing to report, nothing to break
    EXPECT_TRUE(seen.changes.empty());
}
