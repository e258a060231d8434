// One worker per open unit: requests served in order on one thread, a device that stops
// answering bounded, length queries that failed asked again, and time-outs at creation.
#include "bravik/core/create_xu.h"
#include "bravik/core/hresult.h"
#include "bravik/core/transfers.h"
#include "diag_capture.h"
#include "scripted_filter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <set>
#include <thread>

using namespace bravik;
using namespace bravik::test;

namespace
{

KSP_NODE requestFor(uint32_t id)
{
    KSP_NODE r{};
    r.id = id;
    r.flags = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY;
    return r;
}

// A device that holds every request until the test lets it go.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    int held = 0;
    void hold()
    {
        std::unique_lock lock(m);
        ++held;
        cv.notify_all();
        cv.wait(lock, [this] { return open; });
    }
    void waitHeld(int n)
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return held >= n; });
    }
    void release()
    {
        std::lock_guard lock(m);
        open = true;
        cv.notify_all();
    }
};

} // namespace

TEST(RequestWorker, OneThreadServesEveryRequestInOrder)
{
    auto control = std::make_shared<ScriptedControl>();
    std::mutex m;
    std::set<std::thread::id> threads;
    control->handler = [&](const KSP_NODE&, uint8_t*, uint32_t, uint32_t*) {
        std::lock_guard lock(m);
        threads.insert(std::this_thread::get_id());
        return 0;
    };
    ThreadedKernelHandle handle(control);
    std::vector<std::shared_ptr<IoRequest>> issued;
    for (uint32_t i = 0; i < 300; ++i) {
        issued.push_back(handle.deviceIoControl(requestFor(i % 15 + 1), nullptr, 0));
        ASSERT_NE(issued.back(), nullptr);
        if (i % 3 == 0) // a caller that waits for some and not for others
            ASSERT_TRUE(issued.back()->waitFor(std::chrono::seconds(30)));
    }
    for (auto& io : issued)
        ASSERT_TRUE(io->waitFor(std::chrono::seconds(30)));
    auto seen = control->seen();
    ASSERT_EQ(seen.size(), 300u);
    for (size_t i = 0; i < seen.size(); ++i)
        ASSERT_EQ(seen[i].request.id, i % 15 + 1) << "served out of order at " << i;
    EXPECT_EQ(threads.size(), 1u) << "one worker, not a thread per request";
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u) << "never on the caller's thread";
}

TEST(RequestWorker, StuckDeviceQueuesABoundedNumberThenRefusesAndRecovers)
{
    auto control = std::make_shared<ScriptedControl>();
    Gate gate;
    std::atomic<bool> stuck{true};
    control->handler = [&](const KSP_NODE&, uint8_t*, uint32_t, uint32_t*) {
        if (stuck)
            gate.hold();
        return 0;
    };
    ThreadedKernelHandle handle(control);
    auto first = handle.deviceIoControl(requestFor(1), nullptr, 0);
    gate.waitHeld(1);
    std::vector<std::shared_ptr<IoRequest>> waiting;
    for (size_t i = 0; i < ThreadedKernelHandle::kMaxWaiting; ++i)
        waiting.push_back(handle.deviceIoControl(requestFor(2), nullptr, 0));
    for (auto& io : waiting)
        ASSERT_NE(io, nullptr);
    EXPECT_EQ(handle.deviceIoControl(requestFor(3), nullptr, 0), nullptr)
        << "a device that stopped answering must not grow the queue";
    EXPECT_FALSE(first->done());
    stuck = false;
    gate.release();
    for (auto& io : waiting)
        ASSERT_TRUE(io->waitFor(std::chrono::seconds(30)));
    auto again = handle.deviceIoControl(requestFor(4), nullptr, 0);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->waitFor(std::chrono::seconds(30)));
    EXPECT_EQ(again->result(), 0);
}

TEST(RequestWorker, ClosingFinishesTheRunningRequestAndFailsThoseNotStarted)
{
    auto control = std::make_shared<ScriptedControl>();
    Gate gate;
    control->handler = [&](const KSP_NODE&, uint8_t*, uint32_t, uint32_t* bytes) {
        gate.hold();
        *bytes = 7;
        return 0;
    };
    std::shared_ptr<IoRequest> running, queued;
    {
        auto handle = std::make_unique<ThreadedKernelHandle>(control);
        running = handle->deviceIoControl(requestFor(1), nullptr, 0);
        queued = handle->deviceIoControl(requestFor(2), nullptr, 0);
        gate.waitHeld(1);
        std::thread closer([&] { handle.reset(); });
        // Closing fails what has not started at once, then waits for the running request.
        EXPECT_TRUE(queued->waitFor(std::chrono::seconds(30)));
        gate.release();
        closer.join();
    }
    ASSERT_TRUE(running->done());
    EXPECT_EQ(running->result(), 0);
    EXPECT_EQ(running->bytesReturned(), 7u);
    ASSERT_TRUE(queued->done());
    EXPECT_EQ(queued->result(), E_FAIL);
    EXPECT_EQ(control->seen().size(), 1u) << "nothing is sent once the unit is closed";
}

namespace
{

// The family unit at node 4 whose length queries fail as the test says.
struct FlakyUnit {
    std::map<uint32_t, int> sizeFailures;    // selector -> how many length queries fail
    int32_t failWith = hresultFromError(16); // EBUSY: the device was busy
    std::atomic<int> lengthQueries{0};
    ScriptedFilter filter;

    FlakyUnit()
    {
        filter.control->handler = [this](const KSP_NODE& r, uint8_t* data, uint32_t n,
                                         uint32_t* bytes) {
            if (r.nodeId != 4)
                return hresultFromError(2);
            if (n == 0) {
                if (r.id == 0) {
                    *bytes = 26;
                    return kMoreData;
                }
                if (r.id > 5)
                    return hresultFromError(2);
                ++lengthQueries;
                if (sizeFailures[r.id] > 0) {
                    --sizeFailures[r.id];
                    return failWith;
                }
                *bytes = r.id == 5 ? 18 : 4;
                return kMoreData;
            }
            if ((r.flags & KSPROPERTY_TYPE_GET) && data && n > 2)
                data[2] = 0x35;
            return 0;
        };
        filter.topologyNodes = 6;
    }
};

} // namespace

TEST(LengthQuery, FailedAtCreationIsAskedAgainAtFirstUse)
{
    FlakyUnit u;
    u.sizeFailures[3] = 1;
    CUVCXU* xu = nullptr;
    ASSERT_EQ(CreateXU(&u.filter, &xu), 0);
    std::unique_ptr<CUVCXU> owned(xu);
    EXPECT_FALSE(xu->present(3));
    const int before = u.lengthQueries;
    uint16_t value = 0xFFFF;
    EXPECT_EQ(readRegister(*xu, int(TransferMode::A8D8), 0xDC, 0x00, &value), 0)
        << "not 'lacks a control': the control answered this time";
    EXPECT_EQ(value, 0x0035);
    EXPECT_TRUE(xu->present(3));
    EXPECT_EQ(u.lengthQueries, before + 1) << "asked once, for the control that failed";
    EXPECT_EQ(readRegister(*xu, int(TransferMode::A8D8), 0xDC, 0x00, &value), 0);
    EXPECT_EQ(u.lengthQueries, before + 1) << "known now: not asked again";
}

TEST(LengthQuery, StillFailingAtUseReportsTheFailureNotAMissingControl)
{
    FlakyUnit u;
    u.sizeFailures[5] = 2;
    CUVCXU* xu = nullptr;
    ASSERT_EQ(CreateXU(&u.filter, &xu), 0);
    std::unique_ptr<CUVCXU> owned(xu);
    uint8_t block[16] = {};
    EXPECT_EQ(readEepromBlock(*xu, 0x10, block), hresultFromError(16));
    EXPECT_EQ(readEepromBlock(*xu, 0x10, block), 0) << "the third query answered";
    EXPECT_EQ(block[0], 0x35);
}

TEST(LengthQuery, AControlTheDeviceDoesNotHaveStaysAbsent)
{
    FlakyUnit u;
    u.failWith = hresultFromError(2); // ENOENT: no such selector on this unit
    u.sizeFailures[3] = 1;
    CUVCXU* xu = nullptr;
    ASSERT_EQ(CreateXU(&u.filter, &xu), 0);
    std::unique_ptr<CUVCXU> owned(xu);
    const int before = u.lengthQueries;
    uint16_t v = 0;
    EXPECT_EQ(readRegister(*xu, int(TransferMode::A8D8), 0xDC, 0, &v), kControlAbsent);
    EXPECT_EQ(u.lengthQueries, before) << "an answer that it is missing is not asked again";
}

TEST(LengthQuery, CreationWhoseQueriesGotNoAnswerReportsTheTimeOut)
{
    DiagCapture diag;
    FlakyUnit u;
    u.failWith = E_FAIL; // what MyDevIoControl gives for a request unanswered in time
    u.sizeFailures[2] = 1;
    CUVCXU* xu = reinterpret_cast<CUVCXU*>(0x1);
    EXPECT_EQ(CreateXU(&u.filter, &xu), E_FAIL);
    EXPECT_EQ(xu, reinterpret_cast<CUVCXU*>(0x1)) << "no unit is handed out";
    EXPECT_TRUE(diag.contains("InitPropertySize timeout\n"));
}

TEST(LengthQuery, RealTimeOutOfOneQueryFailsCreation)
{
    // Selector 3's length query takes longer than the one second a request is waited for.
    FlakyUnit u;
    Gate gate;
    auto inner = u.filter.control->handler;
    u.filter.control->handler = [&](const KSP_NODE& r, uint8_t* d, uint32_t n, uint32_t* b) {
        if (r.nodeId == 4 && r.id == 3 && n == 0)
            gate.hold();
        return inner(r, d, n, b);
    };
    DiagCapture diag;
    CUVCXU* xu = nullptr;
    std::thread device([&] {
        // Let the stuck query go only once the unit has given up on it.
        while (!diag.contains("MyDevIoControl : wait timeout!!\n"))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        gate.release();
    });
    EXPECT_EQ(CreateXU(&u.filter, &xu), E_FAIL);
    device.join();
    EXPECT_EQ(xu, nullptr);
}
