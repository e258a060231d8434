// The box's channel: a job that outlives its wait stays outstanding, nothing more is taken
// until it ends and a failure's back-off has passed, and releases queue behind it.
#include "devctl/box_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

namespace
{

using Outcome = BoxChannel::Outcome;
using namespace std::chrono_literals;

// Holds a job until let go, as a unit that stopped answering holds its request.
struct Gate {
    std::promise<void> open;
    std::shared_future<void> opened = open.get_future().share();
    BoxChannel::Job job(int result)
    {
        return [f = opened, result] {
            f.wait();
            return result;
        };
    }
};

bool waitUntil(BoxChannel& c, bool (BoxChannel::*state)(), bool want)
{
    const auto until = std::chrono::steady_clock::now() + 10s;
    while ((c.*state)() != want)
        if (std::chrono::steady_clock::now() > until)
            return false;
        else
            std::this_thread::sleep_for(5ms);
    return true;
}

TEST(BoxChannel, AnsweringJobsEndWithinTheWait)
{
    BoxChannel c;
    int ran = 0;
    EXPECT_EQ(c.run([&] { return ++ran, 0; }, 10s), Outcome::Done);
    EXPECT_EQ(c.run([&] { return ++ran, 1; }, 10s), Outcome::Done) << "positive is no failure";
    EXPECT_EQ(ran, 2);
    EXPECT_TRUE(c.ready());
    EXPECT_FALSE(c.failing());
}

TEST(BoxChannel, AnOutstandingJobRefusesMoreButQueuesReleases)
{
    BoxChannel c;
    Gate gate;
    EXPECT_EQ(c.run(gate.job(0), 0ms), Outcome::Pending);
    EXPECT_FALSE(c.ready());
    std::atomic<int> refusedRan{0};
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(c.run([&] { return ++refusedRan, 0; }, 0ms), Outcome::Refused);
    std::vector<int> order;
    EXPECT_EQ(c.queue([&] { return order.push_back(1), 0; }, 0ms), Outcome::Pending);
    EXPECT_EQ(c.queue([&] { return order.push_back(2), 0; }, 0ms), Outcome::Pending);
    gate.open.set_value();
    ASSERT_TRUE(waitUntil(c, &BoxChannel::busy, false));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(refusedRan, 0);
    EXPECT_TRUE(c.ready());
}

TEST(BoxChannel, AFailureBacksOffThenTheUnitIsAskedAgain)
{
    BoxChannel c;
    EXPECT_EQ(c.run([] { return -1; }, 10s), Outcome::Failed);
    EXPECT_TRUE(c.failing());
    EXPECT_FALSE(c.busy());
    EXPECT_FALSE(c.ready());
    EXPECT_EQ(c.run([] { return 0; }, 10s), Outcome::Refused);
    ASSERT_TRUE(waitUntil(c, &BoxChannel::ready, true));
    EXPECT_EQ(c.run([] { return 0; }, 10s), Outcome::Done);
    EXPECT_FALSE(c.failing());
}

TEST(BoxChannel, ShutdownRunsWhatWasTakenOrLeavesAStuckJobBehind)
{
    std::atomic<int> ran{0};
    {
        BoxChannel c;
        c.queue([&] { return ++ran, 0; }, 0ms);
        c.queue([&] { return ++ran, 0; }, 0ms);
        EXPECT_TRUE(c.shutdown(10s));
        EXPECT_EQ(ran, 2);
        EXPECT_EQ(c.queue([&] { return ++ran, 0; }, 0ms), Outcome::Refused);
    }
    auto gate = std::make_shared<Gate>();
    auto finished = std::make_shared<std::promise<void>>();
    {
        BoxChannel c;
        c.run(gate->job(0), 0ms);
        c.queue([finished] { return finished->set_value(), 0; }, 0ms);
        EXPECT_FALSE(c.shutdown(20ms));
    }
    // The worker outlives its channel and still ends what it was given.
    gate->open.set_value();
    EXPECT_EQ(finished->get_future().wait_for(10s), std::future_status::ready);
}

} // namespace
