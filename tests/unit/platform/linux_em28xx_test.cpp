// The EM28xx property interface over the V4L2 debug-register and i2c-dev ioctls.
#include "fake_system.h"

#include <map>

using namespace platformtest;
using platform::Em28xxI2cRequest;
using platform::Em28xxRegisterRequest;

namespace
{

struct Bridge {
    FakeTree tree;
    FakeIoctls io;
    platform::VideoInput input;
    fs::path usb;

    explicit Bridge(int dbgErrno)
    {
        usb = tree.usbDevice("1-3", "eb1a", "2861");
        tree.videoNode(0, usb);
        tree.file(usb / "1-3:1.0" / "i2c-7" / "name", "em28xx #0 #0\n");
        auto& n = io.capture(tree.root() / "dev/video0", "EM2860", "usb-3", V4L2_CAP_VIDEO_CAPTURE);
        n.dbgErrno = dbgErrno;
        io.nodes[(tree.root() / "dev/i2c-7").string()];
        input = platform::makeLinuxVideoInputs(context(tree, io))->enumerate().at(0);
    }
    std::unique_ptr<platform::Em28xxProperties> open(std::string* why = nullptr)
    {
        return platform::makeLinuxEm28xx(context(tree, io))->open(input, why);
    }
};

} // namespace

TEST(LinuxEm28xx, CannotOpenWhereTheKernelRefusesDebugRegisters)
{
    const std::map<int, std::string> reasons{
        {ENOTTY, "bridge registers need a kernel built with CONFIG_VIDEO_ADV_DEBUG"},
        {EPERM, "bridge registers need CAP_SYS_ADMIN"},
        {EINVAL, std::string("bridge registers: ") + std::strerror(EINVAL)}};
    for (const auto& [e, reason] : reasons) {
        Bridge b(e);
        std::string why;
        EXPECT_EQ(b.open(&why), nullptr);
        EXPECT_EQ(why, reason);
        EXPECT_TRUE(b.io.open.empty()) << "the node is closed again";
        ASSERT_EQ(b.io.dbgCalls.size(), 1u);
        EXPECT_EQ(b.io.dbgCalls[0].match.type, V4L2_CHIP_MATCH_BRIDGE);
        EXPECT_EQ(b.io.dbgCalls[0].match.addr, 0u);
    }
    Bridge b(0);
    platform::VideoInput nowhere;
    EXPECT_EQ(platform::makeLinuxEm28xx(context(b.tree, b.io))->open(nowhere), nullptr);
}

TEST(LinuxEm28xx, RegisterRequestsBecomeDebugRegisterCallsOfTheDriversWidths)
{
    Bridge b(0);
    auto p = b.open();
    ASSERT_NE(p, nullptr);
    auto& regs = b.io.nodes[(b.tree.root() / "dev/video0").string()].regs;
    auto write = [&](uint8_t reg, std::vector<uint8_t> data) {
        Em28xxRegisterRequest rq{uint32_t(reg) << 8 | uint32_t(data.size()), uint32_t(data.size()),
                                 data.data()};
        EXPECT_EQ(p->setProperty(platform::kEmPropRegSelect, &rq), 0);
        return p->setProperty(platform::kEmPropRegData, data.data());
    };
    b.io.dbgCalls.clear();
    b.io.dbgRequests.clear();
    // The indirect window: the value pair at 0x40 in one call, then the index at 0x42.
    regs[0x42] = 0x99;
    ASSERT_EQ(write(0x40, {0x5F, 0x00}), 0);
    ASSERT_EQ(b.io.dbgCalls.size(), 1u);
    EXPECT_EQ(b.io.dbgRequests[0], VIDIOC_DBG_S_REGISTER);
    EXPECT_EQ(b.io.dbgCalls[0].reg, 0x40u);
    EXPECT_EQ(b.io.dbgCalls[0].val, 0x005Fu);
    EXPECT_EQ(b.io.dbgCalls[0].match.type, V4L2_CHIP_MATCH_BRIDGE);
    EXPECT_EQ(regs[0x42], 0x99) << "no stray write reaches the index register";
    ASSERT_EQ(write(0x42, {14}), 0);
    EXPECT_EQ(b.io.dbgCalls.back().reg, 0x42u);
    EXPECT_EQ(b.io.dbgCalls.back().size, 1u);
    EXPECT_EQ(regs[0x42], 14);

    // One byte of a pair: its partner keeps its value.
    regs[0x41] = 0x77;
    ASSERT_EQ(write(0x40, {0x12}), 0);
    EXPECT_EQ(regs[0x40], 0x12);
    EXPECT_EQ(regs[0x41], 0x77);

    regs[0x0C] = 0x25;
    uint8_t v = 0;
    Em28xxRegisterRequest one{0x0Cu << 8 | 1u, 1, &v};
    ASSERT_EQ(p->setProperty(platform::kEmPropRegSelect, &one), 0);
    ASSERT_EQ(p->getProperty(platform::kEmPropRegData, &v), 0);
    EXPECT_EQ(v, 0x25);
    EXPECT_EQ(b.io.dbgRequests.back(), VIDIOC_DBG_G_REGISTER);
    uint8_t three[3] = {};
    Em28xxRegisterRequest run{0x40u << 8 | 3u, 3, three};
    ASSERT_EQ(p->setProperty(platform::kEmPropRegSelect, &run), 0);
    ASSERT_EQ(p->getProperty(platform::kEmPropRegData, three), 0);
    EXPECT_EQ(three[0], 0x12);
    EXPECT_EQ(three[1], 0x77);
    EXPECT_EQ(three[2], 14);

    // Refusals come back as failure codes carrying the error number.
    b.io.nodes[(b.tree.root() / "dev/video0").string()].dbgErrno = EIO;
    EXPECT_EQ(p->getProperty(platform::kEmPropRegData, &v), platform::emErrno(EIO));
}

TEST(LinuxEm28xx, SelectionsAreCheckedBeforeAnyIoctl)
{
    Bridge b(0);
    auto p = b.open();
    ASSERT_NE(p, nullptr);
    b.io.dbgCalls.clear();
    uint8_t v = 0;
    EXPECT_EQ(p->getProperty(platform::kEmPropRegData, &v), platform::kEmNotSelected);
    Em28xxRegisterRequest bad{0x0Cu << 8 | 1u, 4, &v};
    EXPECT_EQ(p->setProperty(platform::kEmPropRegSelect, &bad), platform::kEmInvalidArg);
    Em28xxRegisterRequest past{0xFFu << 8 | 2u, 2, &v};
    EXPECT_EQ(p->setProperty(platform::kEmPropRegSelect, &past), platform::kEmInvalidArg);
    EXPECT_EQ(p->setProperty(platform::kEmPropRegSelect, nullptr), platform::kEmInvalidArg);
    uint32_t info = 0;
    EXPECT_EQ(p->getProperty(platform::kEmPropInfo1, &info), platform::kEmNotImplemented);
    EXPECT_TRUE(b.io.dbgCalls.empty());
}

TEST(LinuxEm28xx, I2cGoesThroughTheBridgesAdapterWithSevenBitAddresses)
{
    Bridge b(0);
    auto p = b.open();
    ASSERT_NE(p, nullptr);
    uint8_t byte = 0x20;
    Em28xxI2cRequest rq{0x01000000u | 0xB8u << 16 | 7u << 8 | 1u, &byte, 1};
    ASSERT_EQ(p->setProperty(platform::kEmPropI2cSelect, &rq), 0);
    ASSERT_EQ(p->setProperty(platform::kEmPropI2cData, &byte), 0);
    ASSERT_EQ(b.io.i2cCalls.size(), 1u);
    const auto& w = b.io.i2cCalls[0];
    EXPECT_EQ(w.node, (b.tree.root() / "dev/i2c-7").string());
    ASSERT_EQ(w.msgs.size(), 1u);
    EXPECT_EQ(w.msgs[0].addr, 0x5C);
    EXPECT_EQ(w.msgs[0].flags, 0);
    EXPECT_EQ(w.bytes[0], (std::vector<uint8_t>{0x07, 0x20}));

    uint8_t back[2] = {};
    Em28xxI2cRequest read{0x01000000u | 0xB8u << 16 | 3u << 8 | 2u, back, 0};
    ASSERT_EQ(p->setProperty(platform::kEmPropI2cSelect, &read), 0);
    EXPECT_EQ(p->setProperty(platform::kEmPropI2cData, back), platform::kEmInvalidArg);
    ASSERT_EQ(p->getProperty(platform::kEmPropI2cData, back), 0);
    const auto& r = b.io.i2cCalls.back();
    ASSERT_EQ(r.msgs.size(), 2u);
    EXPECT_EQ(r.bytes[0], (std::vector<uint8_t>{0x03}));
    EXPECT_EQ(r.msgs[1].flags, I2C_M_RD);
    EXPECT_EQ(r.msgs[1].len, 2);
    EXPECT_EQ(back[0], 0x42);
    EXPECT_TRUE(b.io.open.size() == 1) << "only the video node stays open";
}

// The driver's real card name is a board guess; the list names the camera by its USB product
// string instead, whether or not the node could be opened. Other drivers keep their card.
TEST(LinuxEm28xx, NodeIsNamedByTheUsbProductString)
{
    FakeTree t;
    FakeIoctls io;
    fs::path em = t.usbDevice("1-3", "eb1a", "2750");
    t.file(em / "product", "Pellar USB Endoscope\n");
    fs::path uvc = t.usbDevice("1-4", "05e3", "0510");
    t.file(uvc / "product", "USB2.0 Camera\n");
    fs::path locked = t.usbDevice("1-5", "eb1a", "2861");
    t.file(locked / "product", "Pellar Grabber\n");
    t.videoNode(0, em);
    t.videoNode(1, uvc);
    t.videoNode(2, locked, ":1.0", "Unknown EM2750/28xx video grabber");
    t.link(locked / "1-5:1.0" / "driver", t.root() / "sys/bus/usb/drivers/em28xx");
    auto& n = io.capture(t.root() / "dev/video0", "Unknown EM2750/28xx video grabber", "usb-3",
                         V4L2_CAP_VIDEO_CAPTURE);
    std::strncpy(reinterpret_cast<char*>(n.cap.driver), "em28xx", sizeof n.cap.driver);
    io.capture(t.root() / "dev/video1", "USB Inspection Camera", "usb-4", V4L2_CAP_VIDEO_CAPTURE);
    io.capture(t.root() / "dev/video2", "", "", V4L2_CAP_VIDEO_CAPTURE).openErrno = EACCES;
    auto list = platform::makeLinuxVideoInputs(context(t, io))->enumerate();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].friendlyName, "Pellar USB Endoscope");
    EXPECT_EQ(list[0].driver, "em28xx");
    EXPECT_EQ(list[1].friendlyName, "USB Inspection Camera");
    EXPECT_EQ(list[1].driver, "uvcvideo");
    EXPECT_EQ(list[2].friendlyName, "Pellar Grabber");
    EXPECT_EQ(list[2].driver, "em28xx");
}
