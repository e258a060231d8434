// The rig transport over the rig's C functions, here answered by a fake scope.
#include "bravik/core/bv_api.h"
#include "bravik/core/transfers.h"
#include "bravik/uvc/sim_platform.h"
#include "fake_uvc_device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace bravik;
using namespace bravik::test;

namespace
{

// Device 7: a webcam without ids; device 9: the scope.
std::shared_ptr<FakeUvcDevice> g_scope;
std::vector<uint8_t> g_scopeDescriptors;
int g_lastQueryId = 0;

int running()
{
    return 1;
}
int deviceCount()
{
    return 2;
}
int deviceId(int index)
{
    return index == 0 ? 7 : index == 1 ? 9 : 0;
}
int usbIds(int id, int* vid, int* pid)
{
    if (id != 9)
        return ENODEV;
    *vid = 0x05E3;
    *pid = 0x0510;
    return 0;
}
int descriptors(int id, unsigned char* buf, int cap)
{
    if (id != 9)
        return -1;
    std::memcpy(buf, g_scopeDescriptors.data(),
                std::min<size_t>(size_t(cap), g_scopeDescriptors.size()));
    return int(g_scopeDescriptors.size());
}
int query(int id, unsigned char unit, unsigned char selector, unsigned char q, unsigned short size,
          unsigned char* data)
{
    g_lastQueryId = id;
    return id == 9 ? g_scope->query(unit, selector, q, size, data) : ENODEV;
}

SimRigApi fakeRig()
{
    return {running, deviceCount, deviceId, usbIds, descriptors, query};
}

TEST(SimPlatform, ListsRigDevicesWithTheirIds)
{
    g_scopeDescriptors = buildDescriptors(0x05E3, 0x0510, {XuSpec{}});
    SimPlatform p(fakeRig());
    auto list = p.listDevices();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].displayName, "scopesim/7");
    EXPECT_EQ(list[1].displayName, "USB\\VID_05E3&PID_0510\\scopesim/9");
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(list[0].readDescriptors(bytes));
    EXPECT_TRUE(list[1].readDescriptors(bytes));
    EXPECT_EQ(bytes, g_scopeDescriptors);
}

TEST(SimPlatform, DescriptorsLongerThanTheFirstGuessAreReadWhole)
{
    XuSpec big;
    big.bmControls.assign(220, 0xFF);
    std::vector<XuSpec> many(20, big);
    for (int i = 0; i < 20; ++i)
        many[size_t(i)].unitId = uint8_t(10 + i);
    g_scopeDescriptors = buildDescriptors(0x05E3, 0x0510, many);
    ASSERT_GT(g_scopeDescriptors.size(), 4096u);
    SimPlatform p(fakeRig());
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(p.listDevices()[1].readDescriptors(bytes));
    EXPECT_EQ(bytes, g_scopeDescriptors);
}

TEST(SimPlatform, RequestsReachTheRigDeviceTheUnitWasOpenedOn)
{
    g_scope = std::make_shared<FakeUvcDevice>();
    g_scopeDescriptors = buildDescriptors(0x05E3, 0x0510, {XuSpec{}});
    g_scope->answer = [](uint8_t, uint8_t* d, uint16_t) { d[2] = 0x42; };
    SimPlatform p(fakeRig());
    FilterHolder* holder = nullptr;
    CUVCXU* unit = nullptr;
    int pid = 0, vid = 0;
    ASSERT_EQ(uvcInitialize(p, &holder, &unit, -1, -1, &pid, &vid), 0);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(vid, 0x05E3);
    uint16_t v = 0;
    EXPECT_EQ(readRegister(*unit, 3, 0xDC, 0, &v), 0);
    EXPECT_EQ(v, 0x42);
    EXPECT_EQ(g_lastQueryId, 9);
    uvcRelease(&holder, &unit);
    g_scope.reset();
}

} // namespace
