// Video inputs from a fake sysfs/dev tree, and from this machine.
#include "fake_system.h"

using namespace platformtest;

namespace
{
constexpr uint32_t kCapture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
constexpr uint32_t kMeta = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
} // namespace

TEST(LinuxVideoInputs, ListsCaptureNodesInNumberOrderAndSkipsMetadataNodes)
{
    FakeTree t;
    FakeIoctls io;
    fs::path scope = t.usbDevice("1-2", "05e3", "0510");
    fs::path cam = t.usbDevice("1-5", "2a3c", "0001");
    // A UVC camera shows a capture node and a metadata node; numbers go past 9.
    t.videoNode(10, scope);
    t.videoNode(11, scope);
    t.videoNode(2, cam);
    t.videoNode(3, cam);
    io.capture(t.root() / "dev/video10", "USB Inspection Camera", "usb-0000:00:14.0-2", kCapture);
    io.capture(t.root() / "dev/video11", "USB Inspection Camera", "usb-0000:00:14.0-2", kMeta);
    io.capture(t.root() / "dev/video2", "Integrated Camera", "usb-0000:00:14.0-5", kCapture);
    io.capture(t.root() / "dev/video3", "Integrated Camera", "usb-0000:00:14.0-5", kMeta);

    auto list = platform::makeLinuxVideoInputs(context(t, io))->enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].friendlyName, "Integrated Camera");
    EXPECT_EQ(list[0].devicePath, (t.root() / "dev/video2").string());
    EXPECT_EQ(list[0].description, "usb-0000:00:14.0-5");
    EXPECT_TRUE(list[0].hasUsbIds);
    EXPECT_EQ(list[0].vid, 0x2A3C);
    EXPECT_EQ(list[1].friendlyName, "USB Inspection Camera");
    EXPECT_EQ(list[1].vid, 0x05E3);
    EXPECT_EQ(list[1].pid, 0x0510);
    EXPECT_EQ(fs::path(list[1].usbPath), fs::canonical(t.root() / scope));
    EXPECT_TRUE(io.open.empty()) << "every node is closed again";
}

TEST(LinuxVideoInputs, OldDriversWithoutDeviceCapsAreJudgedByTheirCapabilities)
{
    FakeTree t;
    FakeIoctls io;
    t.videoNode(0, t.usbDevice("1-1", "eb1a", "2861"));
    t.videoNode(1, t.usbDevice("1-3", "1234", "5678"));
    io.capture(t.root() / "dev/video0", "EM2860/SAA711X Reference Design", "usb-1", 0,
               V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING);
    io.capture(t.root() / "dev/video1", "Radio", "usb-3", 0, V4L2_CAP_RADIO);
    auto list = platform::makeLinuxVideoInputs(context(t, io))->enumerate();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].friendlyName, "EM2860/SAA711X Reference Design");
    EXPECT_EQ(list[0].vid, 0xEB1A);
}

TEST(LinuxVideoInputs, BrokenNodesAreSkippedAndOddAttributesLoseOnlyTheIds)
{
    FakeTree t;
    FakeIoctls io;
    fs::path garbage = t.usbDevice("1-4", "zz!", "0001");
    t.videoNode(0, garbage);
    t.videoNode(1, {});                                 // not on USB at all
    t.videoNode(2, t.usbDevice("1-6", "1111", "2222")); // node vanished from /dev
    fs::remove(t.root() / "dev/video2");
    t.videoNode(3, t.usbDevice("1-7", "3333", "4444")); // QUERYCAP fails
    t.file("sys/class/video4linux/videoX", "");         // not a node name
    t.file("sys/class/video4linux/video", "");
    io.capture(t.root() / "dev/video0", "Garbage ids", "usb-4", kCapture);
    io.capture(t.root() / "dev/video1", "Virtual", "platform:vivid-000", kCapture);
    io.capture(t.root() / "dev/video3", "Failing", "usb-7", kCapture).queryFails = true;

    auto list = platform::makeLinuxVideoInputs(context(t, io))->enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].friendlyName, "Garbage ids");
    EXPECT_FALSE(list[0].hasUsbIds);
    EXPECT_EQ(list[1].friendlyName, "Virtual");
    EXPECT_FALSE(list[1].hasUsbIds);
    EXPECT_TRUE(list[1].usbPath.empty());
}

TEST(LinuxVideoInputs, AFullLengthCardNameIsNotOverread)
{
    FakeTree t;
    FakeIoctls io;
    t.videoNode(0, t.usbDevice("1-1", "0001", "0002"));
    auto& n = io.capture(t.root() / "dev/video0", "", "", kCapture);
    std::memset(n.cap.card, 'A', sizeof n.cap.card); // no terminator inside the field
    auto list = platform::makeLinuxVideoInputs(context(t, io))->enumerate();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].friendlyName, std::string(sizeof n.cap.card, 'A'));
}

TEST(LinuxVideoInputs, EmptyOrMissingTreesGiveNoInputs)
{
    FakeTree t;
    FakeIoctls io;
    EXPECT_TRUE(platform::makeLinuxVideoInputs(context(t, io))->enumerate().empty());
    platform::LinuxContext nowhere;
    nowhere.root.root = t.root() / "missing";
    EXPECT_TRUE(platform::makeLinuxVideoInputs(nowhere)->enumerate().empty());
}

TEST(LinuxVideoInputs, ThisMachineEnumeratesWithoutError)
{
    platform::LinuxContext real;
    auto list = platform::makeLinuxVideoInputs(real)->enumerate();
    for (const auto& v : list) {
        EXPECT_FALSE(v.devicePath.empty());
        EXPECT_EQ(v.devicePath.rfind("/dev/video", 0), 0u);
    }
    auto captures = platform::makeLinuxCaptures(real);
    EXPECT_EQ(captures->openCamera(static_cast<int>(list.size())), nullptr);
    EXPECT_EQ(captures->openCamera(-1), nullptr);
}
