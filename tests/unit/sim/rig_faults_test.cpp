// Plugging, stalls, scripted events and the device surface Bravik relies on.
#include "rig_fixture.h"

#include <chrono>
#include <future>
#include <thread>

using namespace simtest;

class RigFaults : public RigTest
{
};

TEST_F(RigFaults, DefaultRigIsAWebcamThenTheScope)
{
    ASSERT_EQ(scopesim_start(nullptr), 0);
    EXPECT_EQ(scopesim_running(), 1);
    auto v = scopesim::videoInputs();
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].name, "Integrated Camera");
    EXPECT_EQ(v[0].width, 1280);
    EXPECT_EQ(v[1].name, kScope);
    EXPECT_EQ(v[1].vid, 0x05E3);
    EXPECT_EQ(v[1].pid, 0x0510);
    EXPECT_EQ(v[1].width, 640);
    EXPECT_EQ(scopesim::scopeState(kScope)->tubeIn, true);
    EXPECT_EQ(scopesim_xu_device_count(), 2);
    EXPECT_EQ(scopesim_xu_device_id(1), v[1].id);
    EXPECT_EQ(scopesim_xu_device_id(2), 0);
    int vid = 0, pid = 0;
    EXPECT_EQ(scopesim_xu_device_usb_ids(v[1].id, &vid, &pid), 0);
    EXPECT_EQ(vid, 0x05E3);
    EXPECT_EQ(pid, 0x0510);
    scopesim_stop();
    EXPECT_EQ(scopesim_running(), 0);
    EXPECT_EQ(scopesim_xu_device_count(), 0);
}

TEST_F(RigFaults, IdsStayWithTheirDeviceAcrossUnplugging)
{
    start(scopesim::defaultScenario());
    const int scope = idOf(kScope), cam = idOf("Integrated Camera");
    ASSERT_EQ(scopesim_command("unplug \"Integrated Camera\""), 0);
    EXPECT_EQ(scopesim_xu_device_count(), 1);
    EXPECT_EQ(scopesim_xu_device_id(0), scope);
    int vid;
    EXPECT_EQ(scopesim_xu_device_usb_ids(cam, &vid, &vid), ENODEV);
    ASSERT_EQ(scopesim_command("unplug \"USB Inspection Camera\""), 0);
    std::vector<uint8_t> two(2);
    EXPECT_EQ(xu(scope, 1, 0x85, two), ENODEV);
    ASSERT_EQ(scopesim_command("plug \"USB Inspection Camera\""), 0);
    EXPECT_EQ(xu(scope, 1, 0x85, two), 0);
    EXPECT_EQ(scopesim_xu_device_id(0), scope);
    EXPECT_NE(scopesim_command("plug \"Nobody\""), 0);
    EXPECT_NE(scopesim_command("tube \"Integrated Camera\" out"), 0);
    EXPECT_NE(scopesim_command("tube \"USB Inspection Camera\""), 0);
    EXPECT_NE(scopesim_command(nullptr), 0);
}

TEST_F(RigFaults, PlugIsAPowerCycleThatKeepsTheEeprom)
{
    start(scopesim::defaultScenario());
    int id = idOf(kScope);
    writeReg(id, 3, 0xDC, 0x4A, 0);
    writeReg(id, 3, 0x00, 0x00, 0x40);
    writeReg(id, 3, 0x00, 0x06, 0x09);
    writeReg(id, 1, 0xA0, 0x0010, 0x77);
    scopesim::plug(kScope, false);
    scopesim::plug(kScope, true);
    EXPECT_EQ(scopesim::scopeState(kScope)->ledLevel, 8);
    EXPECT_EQ(*scopesim::busRegister(kScope, 0x00, 0x00), 0x48);
    EXPECT_EQ(scopesim::eeprom(kScope)[0x10], 0x77);
}

TEST_F(RigFaults, StalledDeviceTimesOutLikeTheKernel)
{
    start(scopesim::defaultScenario());
    const int id = idOf(kScope);
    ASSERT_TRUE(scopesim::stall(kScope, 2000));
    // Checks made before the device is asked do not wait.
    std::vector<uint8_t> two(2);
    EXPECT_EQ(xu(id, 9, 0x85, two), ENOENT);
    // A request blocks until the stall is over on the rig clock, then reports the loss.
    auto pending = std::async(std::launch::async, [&] {
        std::vector<uint8_t> d(2);
        return xu(id, 1, 0x85, d);
    });
    EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    advance(2000);
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(4)), std::future_status::ready);
    EXPECT_EQ(pending.get(), ETIMEDOUT);
    EXPECT_EQ(xu(id, 1, 0x85, two), 0);
}

TEST_F(RigFaults, UnplugOrStopEndsABlockedRequest)
{
    start(scopesim::defaultScenario());
    const int id = idOf(kScope);
    scopesim::stall(kScope, 60000);
    auto blocked = [&] {
        return std::async(std::launch::async, [id] {
            std::vector<uint8_t> d(2);
            return scopesim_xu_query(id, 4, 1, 0x85, 2, d.data());
        });
    };
    auto a = blocked();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    scopesim::plug(kScope, false);
    ASSERT_EQ(a.wait_for(std::chrono::seconds(4)), std::future_status::ready);
    EXPECT_EQ(a.get(), ENODEV);

    scopesim::plug(kScope, true);
    scopesim::stall(kScope, 60000);
    auto b = blocked();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    scopesim::stop();
    ASSERT_EQ(b.wait_for(std::chrono::seconds(4)), std::future_status::ready);
    EXPECT_EQ(b.get(), ENODEV);
}

TEST_F(RigFaults, QueriesFromManyThreadsAreEachServedWhole)
{
    start(scopesim::defaultScenario());
    const int id = idOf(kScope);
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                std::vector<uint8_t> d(2);
                if (scopesim_xu_query(id, 4, 5, 0x85, 2, d.data()) != 0 || d[0] != 18)
                    ++failures;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(scopesim::requestLog().size(), 800u);
}

TEST_F(RigFaults, ScriptedEventsFireByRigTime)
{
    start("camera \"C\"\nscope \"S\" unplugged\n"
          "at 1000 plug \"S\"\nat 1500 tube \"S\" out\nat 1500 tube \"S\" in\n"
          "at 3000 unplug \"C\"\nat 2000 frames \"S\" off\n");
    std::vector<scopesim::PlugEvent> seen;
    int token = scopesim::addPlugListener([&](const scopesim::PlugEvent& e) { seen.push_back(e); });
    EXPECT_FALSE(scopesim::isPlugged("S"));
    advance(999);
    scopesim::poll();
    EXPECT_TRUE(seen.empty());
    advance(1);
    EXPECT_EQ(scopesim::videoInputs().size(), 2u); // any call fires what is due
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].arrived);
    EXPECT_EQ(seen[0].name, "S");
    EXPECT_EQ(seen[0].vid, 0x05E3);
    EXPECT_NE(seen[0].sysPath.find("video1"), std::string::npos);
    advance(500);
    EXPECT_TRUE(scopesim::scopeState("S")->tubeIn); // same time: file order
    advance(2000);
    cv::Mat m;
    EXPECT_FALSE(scopesim::grabFrame(idOf("S"), m));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[1].arrived);
    EXPECT_EQ(seen[1].name, "C");
    EXPECT_EQ(scopesim::rigTime(), 3500u);
    scopesim::removePlugListener(token);
}

TEST_F(RigFaults, WaitRunsTheScriptOnTheRigClock)
{
    start("scope \"S\"\nat 250 tube \"S\" out\nat 900 tube \"S\" in\n");
    scopesim_wait(300);
    EXPECT_FALSE(scopesim::scopeState("S")->tubeIn);
    EXPECT_EQ(scopesim_time(), 300u);
    scopesim_wait(600);
    EXPECT_TRUE(scopesim::scopeState("S")->tubeIn);
}

TEST_F(RigFaults, BadScenariosStartNothing)
{
    start(scopesim::defaultScenario());
    std::string error;
    EXPECT_FALSE(scopesim::startText("camera \"A\" size big\n", "bad.txt", &error));
    EXPECT_EQ(error.rfind("bad.txt:1: bad size 'big'", 0), 0u) << error;
    EXPECT_FALSE(scopesim::running());
    EXPECT_FALSE(scopesim::startFile("/nonexistent/scenario.txt", &error));
    EXPECT_EQ(error, "/nonexistent/scenario.txt: cannot read the scenario file: No such file or "
                     "directory");
    EXPECT_NE(scopesim_start("/nonexistent/scenario.txt"), 0);
    EXPECT_FALSE(scopesim::command("tube \"S\" out", &error));
    EXPECT_EQ(error, "no rig is running");
}

TEST_F(RigFaults, UsbListHoldsPlainDevicesInRigOrder)
{
    start("usb vid 1D6B pid 0002 class 09/00/01\ncamera \"C\" vid 04FC pid 6333 class 00/00/00\n"
          "usb vid 0451 pid 8142 rev 0100 interfaces 2\nscope \"S\"\n");
    auto usb = scopesim::usbDevices();
    ASSERT_EQ(usb.size(), 4u);
    EXPECT_EQ(usb[0].deviceClass, 0x09);
    EXPECT_EQ(usb[1].name, "C");
    EXPECT_EQ(usb[1].pid, 0x6333);
    EXPECT_EQ(usb[2].interfaces, 2);
    EXPECT_EQ(usb[3].vid, 0x05E3);
    scopesim::plug("C", false);
    EXPECT_EQ(scopesim::usbDevices().size(), 3u);
}
