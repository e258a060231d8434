#include "capture/video_input_list.h"

#include "support/log_capture.h"
#include "support/rig_session.h"
#include "unit/platform/fake_system.h"

#include <gtest/gtest.h>

TEST(VideoInputList, CountsAndNamesInRigOrder)
{
    RigSession rig(R"(camera "Integrated Camera" size 1280x720 description "usb-0000:00:14.0-5"
camera "Q3400 39HD Camera" size 800x800
scope "USB Inspection Camera" tube in
)");
    LogCapture log;
    CVideoInputList list;
    EXPECT_EQ(list.countDevices(), 3);
    char name[kNameBufferSize] = "untouched";
    EXPECT_EQ(list.deviceName(1, name), 1);
    EXPECT_STREQ(name, "Q3400 39HD Camera");
    EXPECT_EQ(list.deviceName(0, name), 1);
    EXPECT_STREQ(name, "Integrated Camera");
    EXPECT_TRUE(log.has("Preview refreshCamera() Camera(0) Description(usb-0000:00:14.0-5)"));
    // Past the last device: still 1, the buffer as it was.
    EXPECT_EQ(list.deviceName(3, name), 1);
    EXPECT_STREQ(name, "Integrated Camera");
    EXPECT_EQ(list.deviceName(-1, name), 1);
    EXPECT_STREQ(name, "Integrated Camera");
}

TEST(VideoInputList, NoDevices)
{
    RigSession rig("usb vid 1D6B pid 0002 class 09/00/01\n");
    CVideoInputList list;
    EXPECT_EQ(list.countDevices(), 0);
    EXPECT_EQ(findBridgeIndex(), -1);
}

TEST(BridgeIndex, CountsOnlyClassZeroDevicesBeforeTheBridge)
{
    RigSession rig(R"(usb vid 1D6B pid 0002 class 09/00/01
usb vid 0451 pid 8142 rev 0100 class 00/00/00 interfaces 2
usb vid 1D6B pid 0003 class 09/00/03
usb vid 04FC pid 6335 rev 0100 class 00/00/00 interfaces 2
camera "Integrated Camera"
)");
    LogCapture log;
    // The hubs (class 09) do not count; the composite device before the bridge does.
    EXPECT_EQ(findBridgeIndex(), 1);
    EXPECT_TRUE(log.has("Preview refreshCamera() DeviceInfo index(0)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() HardwareID2(USB\\Class_09&SubClass_00&Prot_01)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() HardwareID(USB\\VID_04FC&PID_6335&REV_0100)"));
}

TEST(BridgeIndex, EveryKnownBridgeAndNoOther)
{
    for (const char* ids : {"vid 04FC pid 6333", "vid 04FC pid 6335", "vid 0BDA pid 0169"}) {
        RigSession rig(std::string("usb ") + ids + " rev 0200 class 00/00/00 interfaces 3\n");
        EXPECT_EQ(findBridgeIndex(), 0) << ids;
    }
    // A bridge id on a device that is not class 00 is never looked at.
    RigSession rig("usb vid 0BDA pid 0169 class EF/02/01\nusb vid 0BDA pid 0168 class 00/00/00\n");
    EXPECT_EQ(findBridgeIndex(), -1);
}

// A mouse and a USB stick are class 0 with one interface: their compatible ids name the
// interface's class, so they do not count and the bridge keeps index 0.
TEST(BridgeIndex, MouseAndStickAheadOfTheBridgeDoNotCount)
{
    RigSession rig(R"(usb vid 046D pid C077 class 00/00/00 interface 03/01/02
usb vid 0781 pid 5567 class 00/00/00 interface 08/06/50
usb vid 05E3 pid 0608 class 09/00/01
camera "USB2.0 PC CAMERA" vid 04FC pid 6333 class 00/00/00
camera "Integrated Camera"
)");
    LogCapture log;
    EXPECT_EQ(findBridgeIndex(), 0);
    EXPECT_TRUE(log.has("Preview refreshCamera() HardwareID2(USB\\Class_03&SubClass_01&Prot_02)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() HardwareID2(USB\\Class_08&SubClass_06&Prot_50)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() HardwareID(USB\\VID_04FC&PID_6333&REV_0100)"));
}

// The same on the machine's own tree: sysfs as the kernel lays it out, scanned in hub order.
TEST(BridgeIndex, MachineTreeWithMouseStickAndCompositeDevice)
{
    platformtest::FakeTree t;
    t.usbDevice("usb1", "1d6b", "0002", "0601", "09", "00", "01", 1, "09/00/00");
    t.usbDevice("1-4", "04fc", "6333", "0100", "00", "00", "00", 2, "0e/01/00");
    t.usbDevice("1-1", "046d", "c077", "7200", "00", "00", "00", 1, "03/01/02");
    t.usbDevice("1-2", "0781", "5567", "0126", "00", "00", "00", 1, "08/06/50");
    platform::useLinuxBackends(t.root().string());
    EXPECT_EQ(findBridgeIndex(), 0);
    // A class-0 composite device (a headset, say) on an earlier port moves the bridge by one.
    t.usbDevice("1-3", "0d8c", "0014", "0100", "00", "00", "00", 4, "01/01/00");
    EXPECT_EQ(findBridgeIndex(), 1);
    platform::useLinuxBackends("/");
}

namespace
{
int linesWith(const LogCapture& log, const std::string& text)
{
    int n = 0;
    for (const std::string& l : log.lines())
        n += l.find(text) != std::string::npos;
    return n;
}
} // namespace

// A camera the user may not open is still counted and named; opening it gives no capture
// (a camera without frames), the log says why, and the cameras after it keep their indices.
TEST(VideoInputList, UnopenableCameraKeepsItsIndexAndTheLogSaysWhy)
{
    RigSession rig(R"(camera "Integrated Camera" size 1280x720
scope "USB Inspection Camera" unopenable
camera "Q3400 39HD Camera" size 800x800
)");
    LogCapture log;
    CVideoInputList list;
    ASSERT_EQ(list.countDevices(), 3);
    char name[kNameBufferSize] = "";
    EXPECT_EQ(list.deviceName(1, name), 1);
    EXPECT_STREQ(name, "USB Inspection Camera");
    EXPECT_EQ(linesWith(log, "Permission denied: the user is not in the video group"), 1);
    EXPECT_TRUE(log.has(
        "Preview refreshCamera() Camera(1) Permission denied: the user is not in the video group"));
    EXPECT_EQ(platform::captures().openCamera(1), nullptr);
    auto next = platform::captures().openCamera(2);
    ASSERT_NE(next, nullptr);
    // The stream is the next camera's; its frames come on its own thread, later.
    EXPECT_EQ(next->get(platform::kPropFrameWidth), 800);
    EXPECT_EQ(list.deviceName(2, name), 1);
    EXPECT_STREQ(name, "Q3400 39HD Camera");
    EXPECT_EQ(linesWith(log, "Permission denied"), 1) << "the other cameras add nothing";
}
