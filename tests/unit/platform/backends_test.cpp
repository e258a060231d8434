// --simulate starts the rig and switches the services; without it the machine is used.
#include "app/command_line.h"
#include "platform/clock.h"
#include "platform/services.h"
#include "support/virtual_time.h"

#include <scopesim/rig.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

namespace
{
CommandLine parse(std::vector<std::string> args)
{
    std::vector<char*> argv;
    static std::string prog = "orvex";
    argv.push_back(prog.data());
    for (auto& a : args)
        argv.push_back(a.data());
    return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}
} // namespace

TEST(Backends, SimulateStartsTheDefaultRigOnThePlatformClock)
{
    VirtualTime time;
    platform::VirtualClock* const clock = time.clock;
    CommandLine cl = parse({"--simulate"});
    ASSERT_TRUE(startBackends(cl));
    EXPECT_TRUE(scopesim::running());
    EXPECT_EQ(platform::backend(), platform::Backend::Sim);
    auto list = platform::videoInputs().enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].vid, 0x05E3);
    clock->advance(1234);
    EXPECT_EQ(scopesim::rigTime(), 1234u);
    // A rig time is one clock time, whatever another thread does to the clock meanwhile.
    std::atomic<bool> done{false};
    std::thread mover([&] {
        while (!done)
            clock->advance(10);
    });
    for (int i = 0; i < 20000; ++i)
        ASSERT_EQ(scopesim::clockTimeOf(1000), 2000u) << i;
    done = true;
    mover.join();
    stopBackends(cl);
    EXPECT_FALSE(scopesim::running());
    EXPECT_EQ(platform::backend(), platform::Backend::Linux);
}

TEST(Backends, ScenarioFileDrivesTheRigAndItsScript)
{
    VirtualTime time;
    platform::VirtualClock* const clock = time.clock;
    std::string path = std::string(ORVEX_SOURCE_DIR) + "/sim/scenarios/hotplug.txt";
    CommandLine cl = parse({"--simulate=" + path});
    ASSERT_TRUE(startBackends(cl));
    EXPECT_EQ(platform::videoInputs().enumerate().size(), 1u);
    clock->advance(2000);
    EXPECT_EQ(platform::videoInputs().enumerate().size(), 2u);
    stopBackends(cl);
}

TEST(Backends, AClockInstalledAfterTheStartTakesOverWhereTheRigWas)
{
    std::string path = std::string(ORVEX_SOURCE_DIR) + "/sim/scenarios/hotplug.txt";
    CommandLine cl = parse({"--simulate=" + path});
    ASSERT_TRUE(startBackends(cl));
    VirtualTime time;
    platform::VirtualClock* const clock = time.clock;
    const uint32_t before = scopesim::rigTime();
    EXPECT_LT(before, 1000u);
    EXPECT_EQ(platform::videoInputs().enumerate().size(), 1u);
    clock->advance(2000);
    EXPECT_EQ(scopesim::rigTime(), before + 2000);
    EXPECT_EQ(platform::videoInputs().enumerate().size(), 2u);
    stopBackends(cl);
}

TEST(Backends, ABadScenarioStartsNothing)
{
    std::string path = (std::filesystem::temp_directory_path() / "orvex-bad-scenario.txt").string();
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("camera \"A\"\ncamera \"A\"\n", f);
    std::fclose(f);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(startBackends(parse({"--simulate=" + path})));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path + ":2: duplicate name"), std::string::npos) << err;
    EXPECT_FALSE(scopesim::running());
    EXPECT_EQ(platform::backend(), platform::Backend::Linux);
    std::remove(path.c_str());
}

TEST(Backends, WithoutTheOptionTheMachinesDevicesServe)
{
    CommandLine cl = parse({});
    ASSERT_TRUE(startBackends(cl));
    EXPECT_EQ(platform::backend(), platform::Backend::Linux);
    EXPECT_FALSE(scopesim::running());
    platform::videoInputs().enumerate();
    platform::usbScan().scan();
    stopBackends(cl);
}
