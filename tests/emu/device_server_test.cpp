// The device server met by another process through the preload, as the viewer meets it:
// real open, ioctl, mmap, poll, select and close on the node's path.
#include "emu/device_server.h"
#include "support/temp_dir.h"

#include <scopesim/rig.h>
#include <scopesim/scopesim.h>

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <opencv2/core.hpp>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{

// The chart camera and the em28xx camera share one USB 2.0 bus.
const char* kRig = "camera \"Chart Camera\" size 640x480 scene chart bus 1\n"
                   "scope \"USB Inspection Camera\" tube in\n"
                   "em28xx \"Pellar USB 2861 Video\" size 720x576,640x480 bus 1\n";

// The client program with the preload, its output read line by line.
class Client
{
public:
    Client(const TempDir& dir, std::vector<std::string> args)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        std::vector<std::string> env = {std::string("LD_PRELOAD=") + EMU_PRELOAD,
                                        std::string(emu::kSocketEnv) + "=" + dir / "devices.sock",
                                        std::string(emu::kDevDirEnv) + "=" + dir / "dev",
                                        "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1"};
        args.insert(args.begin(), EMU_CLIENT);
        std::vector<char*> argv, envp;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        if (posix_spawn(&m_pid, EMU_CLIENT, &actions, nullptr, argv.data(), envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_out = out[0];
    }
    ~Client()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_out);
    }

    // The next line starting with key (its rest), or "(none)" when the client ends first;
    // the limit only bounds a failing test.
    std::string line(const std::string& key)
    {
        for (;;) {
            for (size_t end; (end = m_text.find('\n')) != std::string::npos;) {
                std::string l = m_text.substr(0, end);
                m_text.erase(0, end + 1);
                m_seen += l + "\n";
                if (l.rfind(key + " ", 0) == 0)
                    return l.substr(key.size() + 1);
                if (l == key)
                    return "";
            }
            pollfd p{m_out, POLLIN, 0};
            char buf[4096];
            const ssize_t n = ::poll(&p, 1, 60000) == 1 ? ::read(m_out, buf, sizeof buf) : 0;
            if (n <= 0)
                return "(none)";
            m_text.append(buf, static_cast<size_t>(n));
        }
    }
    int wait()
    {
        int status = -1;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }
    const std::string& seen() const { return m_seen; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_text, m_seen;
};

std::vector<cv::Vec3i> bandsOf(const std::string& text)
{
    std::vector<cv::Vec3i> out;
    std::istringstream in(text);
    for (std::string band; in >> band;) {
        cv::Vec3i v;
        if (std::sscanf(band.c_str(), "%d,%d,%d", &v[0], &v[1], &v[2]) == 3)
            out.push_back(v);
    }
    return out;
}

std::vector<cv::Vec3i> bandsOf(const cv::Mat& bgr)
{
    std::vector<cv::Vec3i> out;
    for (int i = 0; i < 8; ++i) {
        const cv::Scalar m = cv::mean(bgr(cv::Rect(bgr.cols * i / 8, 0, bgr.cols / 8, bgr.rows)));
        out.emplace_back(int(m[0] + 0.5), int(m[1] + 0.5), int(m[2] + 0.5));
    }
    return out;
}

class DeviceServer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scopesim::startText(kRig));
        m_server = std::make_unique<emu::DeviceServer>(m_dir / "devices.sock");
        m_nodes = m_server->syncWithRig();
        for (const emu::NodeInfo& n : m_nodes)
            m_dir.write("dev/video" + std::to_string(n.number), "");
    }
    void TearDown() override
    {
        m_server.reset();
        scopesim::stop();
    }
    int rigId(const std::string& name) { return scopesim::findVideoInput(name)->id; }
    std::string node(int n) { return m_dir / ("dev/video" + std::to_string(n)); }

    TempDir m_dir;
    std::unique_ptr<emu::DeviceServer> m_server;
    std::vector<emu::NodeInfo> m_nodes;
};

TEST_F(DeviceServer, NodesAreNumberedAsTheKernelDoesAndTheBridgeStreamsUntilItGoes)
{
    ASSERT_EQ(m_nodes.size(), 5u);
    const bool metadata[] = {false, true, false, true, false};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(m_nodes[size_t(i)].number, i);
        EXPECT_EQ(m_nodes[size_t(i)].metadata, metadata[i]) << i;
    }
    EXPECT_EQ(m_nodes[4].driver, "em28xx");
    EXPECT_EQ(m_nodes[1].deviceCaps & V4L2_CAP_VIDEO_CAPTURE, 0u);
    EXPECT_NE(m_nodes[1].capabilities & V4L2_CAP_VIDEO_CAPTURE, 0u);

    Client c(m_dir, {"raw", node(4), "em28xx"});
    EXPECT_EQ(c.line("driver"), "em28xx");
    EXPECT_EQ(c.line("s_fmt"), "0 640x480") << "the nearest size offered to 700x500";
    EXPECT_EQ(c.line("dbg_g_register"), std::to_string(ENOTTY)) << "no register debugging";
    EXPECT_EQ(c.line("second_s_fmt"), std::to_string(EBUSY));
    EXPECT_EQ(c.line("streamon"), "0");
    ASSERT_EQ(c.line("ready"), "") << c.seen();
    EXPECT_GT(m_server->counters(4).dequeued, 0u);
    {
        Client second(m_dir, {"raw", node(0)});
        // G_INPUT, ENUMINPUT 0 (name, type), ENUMINPUT 1, S_INPUT 1, S_INPUT 0 from a
        // file that does not hold the stream: what a player's V4L2 input asks first.
        EXPECT_EQ(second.line("inputs"), "0 0 0 Camera 1 type " +
                                             std::to_string(V4L2_INPUT_TYPE_CAMERA) + " " +
                                             std::to_string(EINVAL) + " " + std::to_string(EINVAL) +
                                             " " + std::to_string(EBUSY));
        EXPECT_EQ(second.line("streamon"), std::to_string(ENOSPC)) << "the bus is full";
        EXPECT_EQ(second.wait(), 0);
        EXPECT_EQ(m_server->counters(0).noSpace, 1u);
    }

    m_server->unplug(rigId("Pellar USB 2861 Video"));
    EXPECT_EQ(c.line("revents"), std::to_string(POLLIN | POLLERR | POLLHUP));
    EXPECT_EQ(c.line("after"), std::to_string(ENODEV));
    EXPECT_EQ(c.line("mmap_after"), std::to_string(ENODEV));
    EXPECT_EQ(c.line("select"), "1") << "the dead node reads as readable";
    EXPECT_EQ(c.line("close"), "0");
    EXPECT_EQ(c.line("reopen"), std::to_string(ENOENT));
    EXPECT_EQ(c.wait(), 0) << c.seen();
    const auto counted = m_server->counters(4);
    // QUERYCAP and mmap, and a DQBUF where the device went between poll and DQBUF.
    EXPECT_GE(counted.afterUnplug, 2u);
    EXPECT_LE(counted.afterUnplug, 3u);
    EXPECT_EQ(counted.busyRefusals, 1u);
    EXPECT_EQ(counted.streamOns, 1u);
    EXPECT_EQ(m_server->openFiles(4), 0);

    // The lowest free numbers, as the kernel gives them.
    auto numbers = [&] {
        std::string out;
        for (const emu::NodeInfo& n : m_server->syncWithRig())
            out += std::to_string(n.number) + (n.metadata ? "m " : " ");
        return out;
    };
    ASSERT_TRUE(scopesim::plug("Pellar USB 2861 Video", false));
    ASSERT_TRUE(scopesim::plug("Chart Camera", false));
    EXPECT_EQ(numbers(), "2 3m ");
    ASSERT_TRUE(scopesim::plug("Pellar USB 2861 Video", true));
    EXPECT_EQ(numbers(), "0 2 3m ");
    ASSERT_TRUE(scopesim::plug("Chart Camera", true));
    EXPECT_EQ(numbers(), "0 1 2 3m 4m ");
}

TEST_F(DeviceServer, TheViewersOwnStreamShowsTheRigsPictureAndGivesUpOnUnplug)
{
    Client meta(m_dir, {"raw", node(1), "meta"});
    EXPECT_EQ(meta.line("device_caps"),
              std::to_string(V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT));
    EXPECT_EQ(meta.line("s_fmt").substr(0, 3), std::to_string(EINVAL) + " ")
        << "a metadata node refuses video formats";
    EXPECT_EQ(meta.wait(), 0);

    Client c(m_dir, {"stream", node(0)});
    EXPECT_EQ(c.line("start"), "0");
    const auto shown = bandsOf(c.line("frame"));
    cv::Mat picture;
    ASSERT_TRUE(scopesim::grabFrame(rigId("Chart Camera"), picture));
    const auto expected = bandsOf(picture);
    ASSERT_EQ(shown.size(), expected.size()) << c.seen();
    for (size_t i = 0; i < shown.size(); ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(shown[i][k], expected[i][k], 6) << "band " << i;
    ASSERT_EQ(c.line("ready"), "");

    m_server->unplug(rigId("Chart Camera"));
    EXPECT_EQ(c.line("lost"), std::to_string(ENODEV) + " present 0");
    EXPECT_EQ(c.wait(), 0) << c.seen();
    EXPECT_LT(m_server->counters(0).afterUnplug, 3u) << "nothing asks a dead node again";
    EXPECT_EQ(m_server->openFiles(0), 0);
}

TEST_F(DeviceServer, ExtensionUnitRequestsAreTheRigsOwnAnswers)
{
    const int scope = rigId("USB Inspection Camera");
    unsigned char descriptors[4096];
    const int size = scopesim_xu_descriptors(scope, descriptors, sizeof descriptors);
    ASSERT_GT(size, 0);
    int unit = -1;
    for (int i = 0; i + 2 < size && descriptors[i] > 0; i += descriptors[i])
        if (descriptors[i + 1] == 0x24 && descriptors[i + 2] == 0x06)
            unit = descriptors[i + 3];
    ASSERT_GT(unit, 0);

    unsigned char length[2] = {};
    ASSERT_EQ(scopesim_xu_query(scope, uint8_t(unit), 1, 0x85, 2, length), 0);
    Client len(m_dir, {"xu", node(2), std::to_string(unit), "1", "133", "2"});
    EXPECT_EQ(len.line("xu"), "0 " + std::to_string(length[0]) + " " + std::to_string(length[1]));
    EXPECT_EQ(len.line("pointer"), "kept");

    const int bytes = length[0] | length[1] << 8;
    std::vector<unsigned char> value(size_t(bytes), 0);
    ASSERT_EQ(scopesim_xu_query(scope, uint8_t(unit), 1, 0x81, uint16_t(bytes), value.data()), 0);
    std::string expected = "0";
    for (unsigned char b : value)
        expected += " " + std::to_string(b);
    Client cur(m_dir, {"xu", node(2), std::to_string(unit), "1", "129", std::to_string(bytes)});
    EXPECT_EQ(cur.line("xu"), expected);

    Client wrong(m_dir, {"xu", node(2), std::to_string(unit), "1", "129", "1"});
    EXPECT_EQ(wrong.line("xu"), std::to_string(ENOBUFS) + " 0") << "the length must be exact";
    // A device that answers nothing: the kernel gives up on the request after its own
    // control time-out.
    ASSERT_TRUE(scopesim::stall("USB Inspection Camera", 600000));
    Client stalled(m_dir, {"xu", node(2), std::to_string(unit), "1", "133", "2"});
    EXPECT_EQ(stalled.line("xu"), std::to_string(ETIMEDOUT) + " 0 0");
    Client em(m_dir, {"xu", node(4), std::to_string(unit), "1", "133", "2"});
    EXPECT_EQ(em.line("xu"), std::to_string(ENOTTY) + " 0 0");
}

} // namespace
