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

// A node the user may not open stays at its place so the capture index of every later
// node is unchanged; its name comes from sysfs and the reason is kept for the log.
TEST(LinuxVideoInputs, UnopenableCaptureNodeKeepsItsPlace)
{
    FakeTree t;
    FakeIoctls io;
    fs::path a = t.usbDevice("1-1", "2a3c", "0001");
    fs::path b = t.usbDevice("1-2", "05e3", "0510");
    fs::path c = t.usbDevice("1-3", "1b3f", "2247");
    t.videoNode(0, a);
    t.videoNode(1, a);
    t.videoNode(2, b, ":1.0", "USB Inspection Camera");
    t.videoNode(3, b, ":1.0", "USB Inspection Camera");
    t.videoNode(4, c);
    // uvcvideo numbers a device's nodes: the capture node is index 0, metadata index 1.
    t.file("sys/class/video4linux/video2/index", "0\n");
    t.file("sys/class/video4linux/video3/index", "1\n");
    io.capture(t.root() / "dev/video0", "Integrated Camera", "usb-1", kCapture);
    io.capture(t.root() / "dev/video1", "Integrated Camera", "usb-1", kMeta);
    io.capture(t.root() / "dev/video2", "", "", kCapture).openErrno = EACCES;
    io.capture(t.root() / "dev/video3", "", "", kMeta).openErrno = EACCES;
    io.capture(t.root() / "dev/video4", "Q3400 39HD Camera", "usb-3", kCapture);

    auto list = platform::makeLinuxVideoInputs(context(t, io))->enumerate();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].friendlyName, "Integrated Camera");
    EXPECT_TRUE(list[0].openError.empty());
    EXPECT_EQ(list[1].friendlyName, "USB Inspection Camera");
    EXPECT_EQ(list[1].devicePath, (t.root() / "dev/video2").string());
    EXPECT_EQ(list[1].vid, 0x05E3) << "the USB ids need no open either";
    // This process owns the fake node's group, so only the system's text applies.
    EXPECT_EQ(list[1].openError, std::strerror(EACCES));
    EXPECT_EQ(list[2].friendlyName, "Q3400 39HD Camera");

    // Opening it fails without touching the device again: no picture from that index.
    const size_t opensBefore = io.open.size();
    EXPECT_EQ(platform::makeLinuxCaptures(context(t, io))->openCamera(1), nullptr);
    EXPECT_EQ(io.open.size(), opensBefore);
}

TEST(LinuxVideoInputs, UdevRecordDecidesWhatAnUnopenableNodeIs)
{
    FakeTree t;
    FakeIoctls io;
    fs::path a = t.usbDevice("1-1", "2a3c", "0001");
    t.videoNode(0, a, ":1.0", "Meta first");
    t.videoNode(1, a, ":1.0", "Capture second");
    t.videoNode(2, a, ":1.0", "Other error");
    t.videoNode(3, a, ":1.0", "Vanished");
    t.file("sys/class/video4linux/video1/index", "1\n");
    // udev's probe saw the node numbers the other way round this time.
    t.file("run/udev/data/c81:0", "S:v4l/by-id/x\nE:ID_V4L_CAPABILITIES=:\nE:ID_V4L_VERSION=2\n");
    t.file("run/udev/data/c81:1", "E:ID_V4L_CAPABILITIES=:capture:\n");
    io.capture(t.root() / "dev/video0", "", "", kMeta).openErrno = EACCES;
    io.capture(t.root() / "dev/video1", "", "", kCapture).openErrno = EACCES;
    io.capture(t.root() / "dev/video2", "", "", kCapture).openErrno = EBUSY;
    io.capture(t.root() / "dev/video3", "", "", kCapture).openErrno = ENODEV;

    auto list = platform::makeLinuxVideoInputs(context(t, io))->enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].friendlyName, "Capture second");
    EXPECT_EQ(list[1].friendlyName, "Other error");
    EXPECT_EQ(list[1].openError, std::strerror(EBUSY));
}

TEST(OpenError, PermissionRefusalNamesTheGroupTheUserLacks)
{
    EXPECT_EQ(platform::describeOpenError(EACCES, false, "video"),
              "Permission denied: the user is not in the video group");
    EXPECT_EQ(platform::describeOpenError(EPERM, false, "plugdev"),
              "Permission denied: the user is not in the plugdev group");
    // In the group after all (an ACL, a security module): the plain text, nothing invented.
    EXPECT_EQ(platform::describeOpenError(EACCES, true, "video"), "Permission denied");
    EXPECT_EQ(platform::describeOpenError(EACCES, false, ""), "Permission denied");
    EXPECT_EQ(platform::describeOpenError(EBUSY, false, "video"), std::strerror(EBUSY));
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
