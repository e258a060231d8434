// Choosing the device, and what the initialise and release calls hand out and take back.
#include "bravik/core/bv_api.h"
#include "bravik/core/display_name.h"
#include "bravik/core/hresult.h"
#include "bravik/core/transfers.h"
#include "diag_capture.h"
#include "fake_uvc_device.h"

#include <gtest/gtest.h>

using namespace bravik;
using namespace bravik::test;

namespace
{

FakeDevice deviceWithIds(int vid, int pid, const std::string& where)
{
    auto channel = std::make_shared<FakeUvcDevice>();
    return {composeDisplayName(vid, pid, where), channel,
            buildDescriptors(uint16_t(vid), uint16_t(pid), {XuSpec{}})};
}

struct Opened {
    ~Opened() { uvcRelease(&holder, &unit); }
    FilterHolder* holder = nullptr;
    CUVCXU* unit = nullptr;
    int pid = 77, vid = 77;
};

TEST(DisplayName, IdsFollowPidAndVidAfterOneSeparator)
{
    int pid = -1, vid = -1;
    parseDisplayIds("@device:pnp:\\\\?\\usb#vid_05e3&pid_0510&mi_00#6&1", &pid, &vid);
    EXPECT_EQ(pid, 0x0510);
    EXPECT_EQ(vid, 0x05E3);
}

TEST(DisplayName, WithoutPidBothIdsKeepTheirValues)
{
    int pid = 0x1111, vid = 0x2222;
    parseDisplayIds("usb#vid_05e3#/dev/video0", &pid, &vid);
    EXPECT_EQ(pid, 0x1111);
    EXPECT_EQ(vid, 0x2222);
    parseDisplayIds("pid_0042", &pid, &vid);
    EXPECT_EQ(pid, 0x42);
    EXPECT_EQ(vid, 0x2222) << "no VID: only the pid changes";
}

TEST(DisplayName, FirstOccurrenceCountsAndShortNamesStopAtTheirEnd)
{
    int pid = -1, vid = -1;
    parseDisplayIds("VID_1234&PID_ABCD VID_9999&PID_8888", &pid, &vid);
    EXPECT_EQ(pid, 0xABCD);
    EXPECT_EQ(vid, 0x1234);
    parseDisplayIds("vid_0c45&pid_6", &pid, &vid);
    EXPECT_EQ(pid, 6);
    parseDisplayIds("PID", &pid, &vid);
    EXPECT_EQ(pid, 0);
    parseDisplayIds("VID_12zz&PID_0x1f", &pid, &vid);
    EXPECT_EQ(pid, 0x1F);
    EXPECT_EQ(vid, 0x12);
}

TEST(OpenDevice, WildcardTakesTheFirstFamilyDevice)
{
    FakePlatform platform;
    platform.devices = {deviceWithIds(0x046D, 0x0825, "a"), deviceWithIds(0x05E3, 0x0510, "b"),
                        deviceWithIds(0x05E3, 0x0520, "c")};
    for (auto [pid, vid] : {std::pair{-1, -1}, std::pair{-1, 0x046D}, std::pair{0x0825, -1}}) {
        FilterHolder holder;
        int fp = 0, fv = 0;
        EXPECT_EQ(OpenDevice(platform, pid, vid, &holder, &fp, &fv), 0);
        EXPECT_EQ(fp, 0x0510);
        EXPECT_EQ(fv, 0x05E3);
        EXPECT_NE(holder.filter, nullptr);
    }
}

TEST(OpenDevice, WildcardWithoutFamilyDeviceTakesTheLastOne)
{
    DiagCapture diag;
    FakePlatform platform;
    platform.devices = {deviceWithIds(0x046D, 0x0825, "a"), deviceWithIds(0x0C45, 0x6340, "b")};
    FilterHolder holder;
    int fp = 0, fv = 0;
    EXPECT_EQ(OpenDevice(platform, -1, -1, &holder, &fp, &fv), 0);
    EXPECT_EQ(fv, 0x0C45);
    EXPECT_EQ(platform.binds, 1);
    EXPECT_TRUE(diag.contains("OpenDevice : Device VID/PID = 0x046d/0x0825OpenDevice : "
                              "Device VID/PID = 0x0c45/0x6340"));
}

TEST(OpenDevice, ExactSearchNeedsBothIds)
{
    FakePlatform platform;
    platform.devices = {deviceWithIds(0x05E3, 0x0520, "a"), deviceWithIds(0x0C45, 0x0510, "b"),
                        deviceWithIds(0x05E3, 0x0510, "c"), deviceWithIds(0x1234, 0x5678, "d")};
    FilterHolder holder;
    int fp = 0, fv = 0;
    EXPECT_EQ(OpenDevice(platform, 0x0510, 0x05E3, &holder, &fp, &fv), 0);
    EXPECT_EQ(fp, 0x0510);
    EXPECT_EQ(fv, 0x05E3);
    EXPECT_EQ(platform.binds, 1);
}

TEST(UvcInitialize, NoMatchReportsTheLastExaminedIds)
{
    FakePlatform platform;
    platform.devices = {deviceWithIds(0x05E3, 0x0520, "a"), deviceWithIds(0x0C45, 0x6340, "b")};
    Opened o;
    o.holder = reinterpret_cast<FilterHolder*>(0x1);
    EXPECT_EQ(uvcInitialize(platform, &o.holder, &o.unit, 0x0510, 0x05E3, &o.pid, &o.vid), E_FAIL);
    EXPECT_EQ(o.holder, reinterpret_cast<FilterHolder*>(0x1)) << "no holder handed out";
    EXPECT_EQ(o.pid, 0x6340);
    EXPECT_EQ(o.vid, 0x0C45);
    o.holder = nullptr;
}

TEST(UvcInitialize, NoDeviceAtAllLeavesEverythingAsItWas)
{
    FakePlatform platform;
    Opened o;
    EXPECT_EQ(uvcInitialize(platform, &o.holder, &o.unit, -1, -1, &o.pid, &o.vid), E_FAIL);
    EXPECT_EQ(o.holder, nullptr);
    EXPECT_EQ(o.pid, 77);
    EXPECT_EQ(o.vid, 77);
}

TEST(UvcInitialize, DisplayNameWithoutIdsKeepsTheIdsOfTheDeviceBefore)
{
    FakePlatform platform;
    platform.devices = {deviceWithIds(0x046D, 0x0825, "a"), FakeDevice{"/dev/video9", nullptr, {}}};
    Opened o;
    EXPECT_EQ(uvcInitialize(platform, &o.holder, &o.unit, 0x0511, 0x05E3, &o.pid, &o.vid), E_FAIL);
    EXPECT_EQ(o.pid, 0x0825);
    EXPECT_EQ(o.vid, 0x046D);
}

TEST(UvcInitialize, UnboundFilterHandsOutAnEmptyHolder)
{
    FakePlatform platform;
    platform.devices = {FakeDevice{composeDisplayName(0x05E3, 0x0510, "x"), nullptr, {}}};
    Opened o;
    EXPECT_EQ(uvcInitialize(platform, &o.holder, &o.unit, 0x0510, 0x05E3, &o.pid, &o.vid), E_FAIL);
    ASSERT_NE(o.holder, nullptr);
    EXPECT_EQ(o.holder->filter, nullptr);
    EXPECT_EQ(o.unit, nullptr);
}

TEST(UvcInitialize, FailedUnitCreationStillHandsOutTheHolder)
{
    // A scope whose family unit sits at id 1 and lacks selector 1: creation is refused.
    auto channel = std::make_shared<FakeUvcDevice>();
    channel->unitId = 1;
    channel->lengths.erase(1);
    FakePlatform platform;
    XuSpec unit;
    unit.unitId = 1;
    platform.devices = {{composeDisplayName(0x05E3, 0x0510, "x"), channel,
                         buildDescriptors(0x05E3, 0x0510, {unit})}};
    Opened o;
    EXPECT_EQ(uvcInitialize(platform, &o.holder, &o.unit, 0x0510, 0x05E3, &o.pid, &o.vid),
              hresultFromError(2));
    EXPECT_NE(o.holder, nullptr);
    EXPECT_EQ(o.unit, nullptr);
}

TEST(UvcInitialize, OpensTheScopeAtItsUnitId)
{
    FakePlatform platform;
    platform.devices = {deviceWithIds(0x046D, 0x0825, "cam"), scopeDevice()};
    Opened o;
    EXPECT_EQ(uvcInitialize(platform, &o.holder, &o.unit, 0x0510, 0x05E3, &o.pid, &o.vid), 0);
    ASSERT_NE(o.unit, nullptr);
    EXPECT_EQ(o.unit->m_nodeId, 4);
    for (int s = 1; s <= 5; ++s)
        EXPECT_TRUE(o.unit->present(s));
}

TEST(UvcRelease, ClearsBothAndFreesAHolderWithoutUnit)
{
    FakePlatform platform;
    platform.devices = {scopeDevice()};
    Opened o;
    ASSERT_EQ(uvcInitialize(platform, &o.holder, &o.unit, -1, -1, nullptr, nullptr), 0);
    uvcRelease(&o.holder, &o.unit);
    EXPECT_EQ(o.holder, nullptr);
    EXPECT_EQ(o.unit, nullptr);
    ASSERT_EQ(uvcInitialize(platform, &o.holder, &o.unit, -1, -1, nullptr, nullptr), 0);
    CUVCXU* keep = o.unit;
    o.unit = nullptr;
    uvcRelease(&o.holder, &o.unit); // holder only
    EXPECT_EQ(o.holder, nullptr);
    delete keep;
}

int g_count = 0;
uint8_t* failFourth(uint32_t size)
{
    return ++g_count == 4 ? nullptr : allocateControlBuffer(size);
}

TEST(UvcInitialize, UnitWithMissingBuffersWorksWhereItHasThem)
{
    g_count = 0;
    auto channel = std::make_shared<FakeUvcDevice>();
    FakePlatform platform;
    platform.devices = {scopeDevice(channel)};
    Opened o;
    XuOptions options;
    options.allocate = failFourth;
    EXPECT_EQ(uvcInitialize(platform, &o.holder, &o.unit, 0x0510, 0x05E3, &o.pid, &o.vid, options),
              1450);
    ASSERT_NE(o.unit, nullptr);
    uint16_t v = 0;
    EXPECT_EQ(readRegister(*o.unit, 3, 0xDC, 0, &v), 0) << "selectors 1 and 3 have buffers";
    EXPECT_EQ(readRegister(*o.unit, 0, 0x7A, 0, &v), 1) << "selector 4 has none";
    uint8_t block[16];
    EXPECT_EQ(readEepromBlock(*o.unit, 0, block), 1);
}

} // namespace
