// udev events become device changes whose names carry the USB ids.
#include "platform/linux/linux_backends.h"

#include <gtest/gtest.h>

using platform::UdevEvent;

TEST(UdevEvents, AddAndRemoveBecomeChangesNamedWithTheirIds)
{
    UdevEvent add{"add", "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/video4linux/video0",
                  "05e3", "0510"};
    auto c = platform::toDeviceChange(add);
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->arrived);
    EXPECT_EQ(c->interfaceName,
              "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/video4linux/video0 "
              "USB\\VID_05E3&PID_0510");
    EXPECT_NE(c->interfaceName.find("VID_05E3"), std::string::npos);
    EXPECT_NE(c->interfaceName.find("PID_0510"), std::string::npos);
    EXPECT_EQ(c->vid, 0x05E3);

    auto r = platform::toDeviceChange({"remove", "/devices/x/video2", "04FC", "6333"});
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->arrived);
    EXPECT_EQ(r->interfaceName, "/devices/x/video2 USB\\VID_04FC&PID_6333");
}

TEST(UdevEvents, OtherActionsAndBadIdsAreHandled)
{
    EXPECT_FALSE(platform::toDeviceChange({"change", "/devices/x/video0", "05e3", "0510"}));
    EXPECT_FALSE(platform::toDeviceChange({"bind", "/devices/x/video0", "", ""}));
    EXPECT_FALSE(platform::toDeviceChange({"add", "", "05e3", "0510"}));
    // Without usable ids the name is the path alone: never mistaken for the scope.
    for (UdevEvent e : {UdevEvent{"add", "/devices/y/video4", "", ""},
                        UdevEvent{"add", "/devices/y/video4", "05e3", ""},
                        UdevEvent{"add", "/devices/y/video4", "05e3x", "0510"},
                        UdevEvent{"add", "/devices/y/video4", "12345", "0510"}}) {
        auto c = platform::toDeviceChange(e);
        ASSERT_TRUE(c);
        EXPECT_FALSE(c->hasUsbIds);
        EXPECT_EQ(c->interfaceName, "/devices/y/video4");
    }
}

TEST(UdevEvents, OnlyCaptureNodesCount)
{
    UdevEvent meta{"add", "/devices/x/video1", "05e3", "0510", ":"};
    EXPECT_FALSE(platform::toDeviceChange(meta));
    meta.capabilities = ":video_output:";
    EXPECT_FALSE(platform::toDeviceChange(meta));
    UdevEvent capture{"remove", "/devices/x/video0", "05e3", "0510", ":capture:"};
    EXPECT_TRUE(platform::toDeviceChange(capture));
}

TEST(UdevEvents, NamesUseUpperCaseHexWithLeadingZeros)
{
    EXPECT_EQ(platform::composeInterfaceName("p", true, 0x0BDA, 0x0169),
              "p USB\\VID_0BDA&PID_0169");
    EXPECT_EQ(platform::composeInterfaceName("p", true, 0x1, 0xABC), "p USB\\VID_0001&PID_0ABC");
    EXPECT_EQ(platform::composeInterfaceName("p", false, 0x05E3, 0x0510), "p");
}
