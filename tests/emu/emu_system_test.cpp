// The emulated system's sysfs tree and udev events, read by the program's own Linux backends
// and by libudev itself.
#include "emu/private_system.h"
#include "emu/sysfs_tree.h"
#include "emu/uevent_sender.h"
#include "platform/linux/linux_backends.h"
#include "support/temp_dir.h"

#include <scopesim/rig.h>

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

constexpr uint32_t kCapture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
constexpr uint32_t kMeta = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;

// The rig's default devices as the device server numbers them: capture, then metadata node.
std::vector<emu::TreeNode> nodesOf(const std::vector<scopesim::VideoInputInfo>& inputs)
{
    std::vector<emu::TreeNode> out;
    for (const auto& v : inputs) {
        const int n = int(out.size());
        out.push_back({n, v.id, false, "uvcvideo", v.name, kCapture, false});
        out.push_back({n + 1, v.id, true, "uvcvideo", v.name, kMeta, false});
    }
    return out;
}

struct RigRunning {
    RigRunning() { scopesim::startDefault(); }
    ~RigRunning() { scopesim::stop(); }
};

// Every node refuses the user, so the list is made from sysfs and udev's records alone.
platform::IoctlOps refusingOps()
{
    platform::IoctlOps ops;
    ops.open = [](void*, const char*, int) {
        errno = EACCES;
        return -1;
    };
    return ops;
}

} // namespace

TEST(EmuSysfsTree, ReadsAsTheKernelsAndFollowsPlugs)
{
    RigRunning rig;
    TempDir root;
    fs::create_directories(root.path() / "dev");
    emu::SysfsTree tree(root.path());
    auto inputs = scopesim::videoInputs();
    ASSERT_EQ(inputs.size(), 2u);
    auto added = tree.update(nodesOf(inputs)).added;
    // Per device: the device, its two interfaces, its two nodes.
    ASSERT_EQ(added.size(), 10u);
    EXPECT_EQ(added[0].value("DEVTYPE"), "usb_device");
    EXPECT_EQ(added[3].value("SUBSYSTEM"), "video4linux");
    EXPECT_EQ(added[4].value("ID_V4L_CAPABILITIES"), ":");

    const platform::LinuxContext ctx{{root.path()}, refusingOps()};
    const auto usb = platform::makeLinuxUsbScan(ctx)->scan();
    ASSERT_EQ(usb.size(), 2u);
    EXPECT_EQ(usb[1].vid, 0x05E3);
    EXPECT_EQ(usb[1].pid, 0x0510);
    EXPECT_EQ(usb[1].interfaces, 2);
    EXPECT_EQ(usb[1].interfaceClass, 0x0E);
    const auto list = platform::makeLinuxVideoInputs(ctx)->enumerate();
    ASSERT_EQ(list.size(), 2u) << "metadata nodes are not listed";
    EXPECT_EQ(list[1].friendlyName, inputs[1].name);
    EXPECT_EQ(list[1].devicePath, (root.path() / "dev/video2").string());
    EXPECT_EQ(list[1].driver, "uvcvideo");
    EXPECT_EQ(list[1].pid, 0x0510);
    EXPECT_EQ(fs::path(list[1].usbPath).filename(), tree.usbName(inputs[1].id));
    EXPECT_GT(fs::file_size(fs::path(list[1].usbPath) / "descriptors"), 18u);

    const std::string port = tree.usbName(inputs[1].id);
    // Unplugged: nodes, interfaces, then the device go, each still with udev's ids.
    ASSERT_TRUE(scopesim::plug(inputs[1].name, false));
    auto removed = tree.update(nodesOf(scopesim::videoInputs())).removed;
    ASSERT_EQ(removed.size(), 5u);
    EXPECT_EQ(removed[0].value("DEVNAME"), "/dev/video2");
    EXPECT_EQ(removed[0].value("ID_MODEL_ID"), "0510");
    EXPECT_EQ(removed[4].value("DEVTYPE"), "usb_device");
    EXPECT_FALSE(fs::exists(root.path() / "sys/class/video4linux/video2"));
    EXPECT_FALSE(fs::exists(root.path() / "dev/video2"));
    EXPECT_EQ(platform::makeLinuxVideoInputs(ctx)->enumerate().size(), 1u);
    ASSERT_TRUE(scopesim::plug(inputs[1].name, true));
    EXPECT_EQ(tree.update(nodesOf(scopesim::videoInputs())).added.size(), 5u);
    EXPECT_EQ(tree.usbName(inputs[1].id), port) << "back in the same port";
    EXPECT_EQ(platform::makeLinuxVideoInputs(ctx)->enumerate().size(), 2u);
}

// In a child of its own: the namespaces are the process's for good.
TEST(EmuUevents, ReachALibudevMonitorAsUdevs)
{
    TempDir staging;
    const pid_t child = ::fork();
    if (child == 0) {
        std::string why;
        const emu::Entered e = emu::enterPrivateSystem(staging.path(), &why);
        if (e != emu::Entered::Yes) {
            std::fprintf(stderr, "%s\n", why.c_str());
            ::_exit(e == emu::Entered::Unavailable ? 77 : 1);
        }
        RigRunning rig;
        emu::SysfsTree tree("/");
        auto source = platform::openUdevSource(); // the program's own monitor
        emu::UeventSender sender;
        if (!source || !sender.ok())
            ::_exit(2);
        auto inputs = scopesim::videoInputs();
        for (const auto& ev : tree.update(nodesOf(inputs)).added)
            sender.send("add", ev);
        scopesim::plug(inputs[1].name, false);
        for (const auto& ev : tree.update(nodesOf(scopesim::videoInputs())).removed)
            sender.send("remove", ev);
        // Only video4linux passes the monitor's filter: 4 adds, 2 removes.
        std::vector<platform::UdevEvent> got;
        for (int i = 0; i < 50 && got.size() < 6; ++i) {
            pollfd p{source->fd(), POLLIN, 0};
            ::poll(&p, 1, 100);
            while (auto e = source->receive())
                got.push_back(*e);
        }
        if (got.size() != 6) {
            std::fprintf(stderr, "received %zu events\n", got.size());
            ::_exit(3);
        }
        const auto& last = got[4];
        const bool ok = got[0].action == "add" && got[0].capabilities == ":capture:" &&
                        got[1].capabilities == ":" && got[2].vendorId == "05e3" &&
                        last.action == "remove" && last.modelId == "0510" &&
                        last.devpath.find("/video4linux/video2") != std::string::npos &&
                        !fs::exists("/sys" + last.devpath);
        ::_exit(ok ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "namespaces are not available here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
