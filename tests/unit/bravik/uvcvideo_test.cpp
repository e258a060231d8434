// The uvcvideo transport on a fake device tree: node choice, ids, the control query it
// issues, errno results, and a request that outlives its 1000 ms wait.
#include "bravik/core/bv_api.h"
#include "bravik/core/hresult.h"
#include "bravik/core/transfers.h"
#include "bravik/uvc/uvcvideo_platform.h"
#include "diag_capture.h"
#include "fake_uvc_device.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>
#include <unistd.h>

using namespace bravik;
using namespace bravik::test;
namespace fs = std::filesystem;

namespace
{

struct FakeNode {
    bool metadata = false;
    std::shared_ptr<FakeUvcDevice> device;
};

// /dev and /sys of a machine with a webcam (capture + metadata node), a non-USB node and
// the scope, plus an ioctl that answers for them.
class FakeTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() /
               ("bravik-tree-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "dev");
        addUsb("usb1/1-1", 0x046D, 0x0825, buildDescriptors(0x046D, 0x0825, {}));
        addUsb("usb1/1-2", 0x05E3, 0x0510, buildDescriptors(0x05E3, 0x0510, {XuSpec{}}));
        fs::create_directories(root / "sys/devices/platform/vivid.0");
        addNode("video0", "usb1/1-1/1-1:1.0", {});
        addNode("video1", "usb1/1-1/1-1:1.0", {true, nullptr});
        addNode("video2", "platform/vivid.0", {});
        addNode("video10", "usb1/1-2/1-2:1.0", {false, scope});
    }
    void TearDown() override { fs::remove_all(root); }

    void addUsb(const std::string& dir, int vid, int pid, const std::vector<uint8_t>& descriptors)
    {
        fs::path d = root / "sys/devices" / dir;
        fs::create_directories(d);
        char text[8];
        std::snprintf(text, sizeof text, "%04x\n", vid);
        std::ofstream(d / "idVendor") << text;
        std::snprintf(text, sizeof text, "%04x\n", pid);
        std::ofstream(d / "idProduct") << text;
        std::ofstream(d / "descriptors", std::ios::binary)
            .write(reinterpret_cast<const char*>(descriptors.data()), long(descriptors.size()));
    }
    void addNode(const std::string& name, const std::string& parent, FakeNode node)
    {
        fs::create_directories(root / "sys/devices" / parent);
        fs::path cls = root / "sys/class/video4linux" / name;
        fs::create_directories(cls);
        fs::create_directory_symlink(root / "sys/devices" / parent, cls / "device");
        std::ofstream(root / "dev" / name) << "";
        nodes[(root / "dev" / name).string()] = node;
    }

    int ioctl(int fd, unsigned long request, void* arg)
    {
        char path[512] = {};
        ssize_t n =
            ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
        auto it = nodes.find(std::string(path, n > 0 ? size_t(n) : 0));
        if (it == nodes.end()) {
            errno = ENOTTY;
            return -1;
        }
        if (request == VIDIOC_QUERYCAP) {
            auto* cap = static_cast<v4l2_capability*>(arg);
            cap->capabilities =
                V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_DEVICE_CAPS;
            cap->device_caps = it->second.metadata ? V4L2_CAP_META_CAPTURE : V4L2_CAP_VIDEO_CAPTURE;
            return 0;
        }
        if (request != UVCIOC_CTRL_QUERY || !it->second.device) {
            errno = ENOTTY;
            return -1;
        }
        auto* q = static_cast<uvc_xu_control_query*>(arg);
        if (block(q))
            return 0;
        int e = it->second.device->query(q->unit, q->selector, q->query, q->size, q->data);
        if (e) {
            errno = e;
            return -1;
        }
        return 0;
    }

    // Holds GET_CUR requests while stalled; a released one writes its answer late.
    bool block(uvc_xu_control_query* q)
    {
        std::unique_lock lock(gateMutex);
        if (!stalled || q->query != kUvcGetCur)
            return false;
        ++held;
        gateChanged.notify_all();
        gateChanged.wait(lock, [this] { return !stalled; });
        std::memset(q->data, 0xEE, q->size);
        return true;
    }
    void release()
    {
        std::lock_guard lock(gateMutex);
        stalled = false;
        gateChanged.notify_all();
    }

    static int openFilesOf(const fs::path& node)
    {
        int n = 0;
        for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            n += fs::read_symlink(e.path(), ec) == node;
        }
        return n;
    }

    UvcvideoPlatform platform()
    {
        return UvcvideoPlatform(
            {root / "dev", root / "sys"},
            [this](int fd, unsigned long r, void* a) { return ioctl(fd, r, a); });
    }

    fs::path root;
    std::shared_ptr<FakeUvcDevice> scope = std::make_shared<FakeUvcDevice>();
    std::map<std::string, FakeNode> nodes;
    std::mutex gateMutex;
    std::condition_variable gateChanged;
    bool stalled = false;
    int held = 0;
};

TEST_F(FakeTree, ListsCaptureNodesInNumberOrderWithTheirIds)
{
    auto p = platform();
    auto devices = p.listDevices();
    ASSERT_EQ(devices.size(), 3u) << "the metadata node is no video input";
    EXPECT_EQ(devices[0].displayName, "USB\\VID_046D&PID_0825\\" + (root / "dev/video0").string());
    EXPECT_EQ(devices[1].displayName, (root / "dev/video2").string());
    EXPECT_EQ(devices[2].displayName, "USB\\VID_05E3&PID_0510\\" + (root / "dev/video10").string());
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(devices[2].readDescriptors(bytes));
    EXPECT_EQ(bytes, buildDescriptors(0x05E3, 0x0510, {XuSpec{}}));
    EXPECT_FALSE(devices[1].readDescriptors(bytes));
}

// A tree that is not what sysfs gives: a node number past int, an id that is a FIFO or a
// folder or too long, a descriptors file that is endless or too large. Nothing is read
// without bound and such a device is listed without ids, or not at all.
TEST_F(FakeTree, DamagedSysfsFilesAreRefusedWithinBounds)
{
    EXPECT_EQ(videoNodeNumber("video10"), 10);
    EXPECT_EQ(videoNodeNumber("video99999999999999999999"), -1);
    EXPECT_EQ(videoNodeNumber("video-1"), -1);
    EXPECT_EQ(videoNodeNumber("video"), -1);
    EXPECT_EQ(videoNodeNumber("video1x"), -1);

    const fs::path d = root / "sys/devices/usb1/1-2";
    int id = -1;
    EXPECT_TRUE(readUsbId(d / "idVendor", id));
    EXPECT_EQ(id, 0x05E3);
    std::ofstream(d / "idVendor") << "105e3\n";
    EXPECT_FALSE(readUsbId(d / "idVendor", id));
    fs::remove(d / "idVendor");
    ASSERT_EQ(::mkfifo((d / "idVendor").c_str(), 0600), 0);
    EXPECT_FALSE(readUsbId(d / "idVendor", id)) << "a FIFO is refused without waiting";
    EXPECT_FALSE(readUsbId(root / "sys/devices", id));
    EXPECT_FALSE(readUsbId("/dev/zero", id));

    std::vector<uint8_t> bytes;
    EXPECT_FALSE(readDescriptorFile("/dev/zero", bytes));
    fs::resize_file(d / "descriptors", kMaxDescriptorBytes + 1);
    EXPECT_FALSE(readDescriptorFile(d / "descriptors", bytes));
    fs::resize_file(d / "descriptors", kMaxDescriptorBytes);
    EXPECT_TRUE(readDescriptorFile(d / "descriptors", bytes));
    EXPECT_EQ(bytes.size(), kMaxDescriptorBytes);

    fs::create_directories(root / "sys/class/video4linux/video99999999999999999999");
    auto devices = platform().listDevices();
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[2].displayName, (root / "dev/video10").string()) << "no ids: no USB name";
    EXPECT_FALSE(devices[2].readDescriptors(bytes));
}

TEST_F(FakeTree, OpensTheScopeAndIssuesControlQueriesOnItsUnit)
{
    auto p = platform();
    FilterHolder* holder = nullptr;
    CUVCXU* unit = nullptr;
    int pid = 0, vid = 0;
    ASSERT_EQ(uvcInitialize(p, &holder, &unit, 0x0510, 0x05E3, &pid, &vid), 0);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->m_nodeId, 4);
    auto log = scope->log();
    ASSERT_EQ(log.size(), 15u) << "one length query per selector";
    EXPECT_EQ(log[0].query, kUvcGetLen);
    EXPECT_EQ(log[0].size, 2);
    EXPECT_EQ(log[0].unit, 4);
    scope->clearLog();
    scope->answer = [](uint8_t, uint8_t* d, uint16_t) { d[2] = 0x10, d[3] = 0x5A; };
    uint16_t v = 0;
    EXPECT_EQ(readRegister(*unit, 0, 0x7A, 0, &v), 0);
    EXPECT_EQ(v, 0x5A10);
    scope->failCur[2] = EPIPE;
    EXPECT_EQ(readRegister(*unit, 0, 0x7A, 0, &v), int32_t(0x80070020));
    // Unplugged: the node is let go at once, before the unit is released, and not asked again.
    scope->failCur[2] = ENODEV;
    EXPECT_EQ(readRegister(*unit, 0, 0x7A, 0, &v), hresultFromError(ENODEV));
    EXPECT_EQ(openFilesOf(root / "dev/video10"), 0);
    scope->clearLog();
    EXPECT_EQ(readRegister(*unit, 0, 0x7A, 0, &v), hresultFromError(ENODEV));
    EXPECT_TRUE(scope->log().empty());
    uvcRelease(&holder, &unit);
}

TEST_F(FakeTree, CameraWithoutTheFamilyUnitIsRefused)
{
    auto p = platform();
    FilterHolder* holder = nullptr;
    CUVCXU* unit = nullptr;
    EXPECT_EQ(uvcInitialize(p, &holder, &unit, 0x0825, 0x046D, nullptr, nullptr),
              hresultFromError(ENOENT));
    EXPECT_NE(holder, nullptr);
    EXPECT_EQ(unit, nullptr);
    uvcRelease(&holder, &unit);
}

TEST_F(FakeTree, RequestNotDoneInOneSecondFailsAndFinishesOnItsOwnCopy)
{
    DiagCapture diag;
    auto p = platform();
    FilterHolder* holder = nullptr;
    CUVCXU* unit = nullptr;
    ASSERT_EQ(uvcInitialize(p, &holder, &unit, 0x0510, 0x05E3, nullptr, nullptr), 0);
    {
        std::lock_guard lock(gateMutex);
        stalled = true;
    }
    auto* buffer = new uint8_t[4]{1, 2, 3, 4};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(unit->m_unit->GetProperty(4, 4, buffer), E_FAIL);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::milliseconds(4000));
    EXPECT_TRUE(diag.contains("MyDevIoControl : wait timeout!!\n"));
    EXPECT_EQ(buffer[0], 1) << "a late answer must not reach the caller's buffer";
    delete[] buffer; // the late completion below must not touch it
    release();
    uvcRelease(&holder, &unit); // waits for the late request
    EXPECT_EQ(held, 1);
}

} // namespace
