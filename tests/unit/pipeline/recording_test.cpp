#include "capture_fixture.h"
#include "ffprobe.h"

#include "app/notice.h"
#include "platform/file_ops.h"

#include <csignal>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/mount.h>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace
{

// A real small disk (tmpfs) for one test, where this process may mount one.
struct SmallDisk {
    TempDir at;
    bool mounted = false;
    int err = 0;
    explicit SmallDisk(const char* options)
    {
        mounted = ::mount("tmpfs", at.str().c_str(), "tmpfs", 0, options) == 0;
        err = mounted ? 0 : errno;
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(at.str().c_str(), MNT_DETACH);
    }
};

// Runs passes every stepMs for durationMs of a recording and returns the frames written.
uint32_t simulate(uint32_t stepMs, uint32_t durationMs, uint32_t* largestBurst = nullptr)
{
    uint32_t written = 0, burst = 0;
    for (uint32_t t = 0; t < durationMs; t += stepMs) {
        const uint32_t n = framesDue(written, t);
        burst = std::max(burst, n);
        written += n;
    }
    if (largestBurst)
        *largestBurst = burst;
    return written;
}

} // namespace

TEST(RecordingTimeline, FastPassesAreCappedAtFifteenPerSecond)
{
    // 30 passes a second (a 30 fps camera drawn as it comes): 15 of them per second.
    uint32_t written = 0;
    for (uint32_t t = 0; t < 4000; t += 33) {
        written += framesDue(written, t);
        EXPECT_LE(written, (t / 1000 + 1) * 15) << t;
    }
    EXPECT_EQ(written, 60u);
    // The frame timer's 60 ms passes: one frame each, never two.
    uint32_t burst = 0;
    EXPECT_EQ(simulate(60, 4000, &burst), 60u);
    EXPECT_EQ(burst, 1u);
}

TEST(RecordingTimeline, SlowPassesCatchUpWithTheClock)
{
    uint32_t written = 0;
    EXPECT_EQ(framesDue(0, 0), 1u) << "the first pass writes one frame, not a second's worth";
    for (uint32_t t = 0; t < 4000; t += 200) {
        written += framesDue(written, t);
        const uint32_t due = t * 15 / 1000 + 1;
        EXPECT_GE(written + 1, due) << "at most one frame behind, at " << t;
        EXPECT_LE(written, (t / 1000 + 1) * 15) << t;
    }
    // The last pass was at 3800 ms; the stop at 4000 ms fills the file to its running time.
    EXPECT_EQ(written + framesAtStop(written, 4000), 60u);
    EXPECT_EQ(framesAtStop(60, 4000), 0u);
    EXPECT_EQ(framesAtStop(61, 4000), 0u) << "nothing is taken back";
}

TEST(RecordingTimeline, ALongStallIsMadeUpOverTheNextPasses)
{
    uint32_t written = 0;
    for (uint32_t t = 0; t < 1000; t += 60)
        written += framesDue(written, t);
    // The camera stalls for ten seconds.
    const uint32_t first = framesDue(written, 11000);
    EXPECT_EQ(first, kMaxCatchUp);
    written += first;
    uint32_t t = 11000;
    for (int pass = 0; pass < 10; ++pass) {
        t += 60;
        written += framesDue(written, t);
    }
    EXPECT_GE(written + 1, t * 15 / 1000 + 1) << "back on the timeline within ten passes";
    EXPECT_EQ(framesAtStop(0, 3600000), kMaxCatchUp) << "the stop adds at most as much";
}

TEST(RecordingTimeline, IrregularPassesStayOnTheTimelineAndUnderTheCap)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<uint32_t> gap(5, 1900);
    uint32_t written = 0;
    for (uint32_t t = 0; t < 60000; t += gap(rng)) {
        written += framesDue(written, t);
        ASSERT_LE(written, (t / 1000 + 1) * 15) << t;
        ASSERT_GE(written + 1, t * 15 / 1000 + 1) << t;
    }
}

using Recording = CaptureFixture;

TEST_F(Recording, ASecondRecordingInTheSameSecondGetsItsOwnFile)
{
    std::string first, second;
    ASSERT_TRUE(start(cv::Size(320, 240), first));
    writeRecordingFrame(numbered(0));
    finish();
    clock->advance(300);
    ASSERT_TRUE(start(cv::Size(320, 240), second));
    writeRecordingFrame(numbered(1));
    finish();
    EXPECT_EQ(first, "2026-03-07 09_05_33.avi");
    EXPECT_EQ(second, "2026-03-07 09_05_33_2.avi");
    EXPECT_EQ(started.path, file(second));
    EXPECT_TRUE(finished.kept && finished.failure.empty());
    EXPECT_EQ(finished.name, second);
    EXPECT_EQ(finished.path, file(second));
    EXPECT_TRUE(probeVideo(file(first)).ok);
    EXPECT_TRUE(probeVideo(file(second)).ok);
}

TEST_F(Recording, NoFolderNoRecording)
{
    // A folder that cannot be made (a file stands in the way) is not made.
    storage.write("plain", "x");
    g_StoragePath = wxString::FromUTF8(storage / "plain/DCIM");
    std::string name;
    EXPECT_FALSE(start(cv::Size(320, 240), name));
    EXPECT_FALSE(recordingRuns());
    EXPECT_TRUE(name.empty());
    EXPECT_NE(log.text().find("Preview toggleRecord() cannot create"), std::string::npos)
        << log.text();
    // Nor one whose parent is gone too (a drive that was unplugged).
    g_StoragePath = wxString::FromUTF8(storage / "drive/DCIM");
    EXPECT_FALSE(start(cv::Size(320, 240), name));
    EXPECT_FALSE(std::filesystem::exists(storage / "drive"));
    EXPECT_NE(log.text().find("No such file or directory"), std::string::npos) << log.text();
    EXPECT_EQ(started.failure, "Not recording: the folder is gone");
}

TEST_F(Recording, AReadOnlyFolderIsNotCalledFull)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    std::filesystem::permissions(storage.path(), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec);
    std::string name;
    EXPECT_FALSE(start(cv::Size(320, 240), name));
    std::filesystem::permissions(storage.path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(started.failure, "Not recording: the folder is read-only");
    EXPECT_NE(log.text().find("Permission denied"), std::string::npos) << log.text();
    EXPECT_EQ(log.text().find("full"), std::string::npos) << log.text();
}

TEST_F(Recording, AWriterThatDoesNotOpenLeavesNoEmptyFile)
{
    std::string name;
    EXPECT_FALSE(start(cv::Size(0, 240), name));
    // An odd size the codec refuses.
    EXPECT_FALSE(start(cv::Size(1, 1), name)) << "if this opens, pick another refusal";
    EXPECT_FALSE(recordingRuns());
    EXPECT_TRUE(std::filesystem::is_empty(storage.path()));
    EXPECT_EQ(started.failure, "Not recording: the encoder failed");
}

TEST_F(Recording, RemovedFolderStopsTheRecordingAndNamesNoFile)
{
    std::string name;
    ASSERT_TRUE(start(cv::Size(320, 240), name));
    EXPECT_TRUE(writeRecordingFrame(numbered(0)));
    std::filesystem::remove_all(storage.path());
    clock->advance(60);
    EXPECT_FALSE(writeRecordingFrame(numbered(1)));
    EXPECT_NE(log.text().find("Screen drawFrame() recording stopped: "), std::string::npos)
        << log.text();
    finish();
    EXPECT_FALSE(recordingRuns());
    EXPECT_EQ(finished.failure, "Recording stopped: the folder is gone")
        << "the notice claims no file that is gone";
    EXPECT_FALSE(finished.kept);
    EXPECT_TRUE(finished.path.empty());
    EXPECT_NE(log.text().find("No such file or directory"), std::string::npos) << log.text();

    // The next capture makes the folder again and goes on there.
    clock->advance(1000);
    ASSERT_TRUE(start(cv::Size(320, 240), name));
    EXPECT_TRUE(writeRecordingFrame(numbered(2)));
    finish();
    EXPECT_EQ(probeVideo(file(name)).frames, 1);
    EXPECT_NE(log.text().find("Preview ensureStorageFolder() " + storage.str() + " made again\n"),
              std::string::npos)
        << log.text();
}

TEST_F(Recording, ARenamedFolderDoesNotStopTheRecording)
{
    std::string name;
    ASSERT_TRUE(start(cv::Size(320, 240), name));
    for (int n = 0; n < 5; ++n) {
        EXPECT_TRUE(writeRecordingFrame(numbered(n)));
        clock->advance(70);
    }
    const std::string moved = storage.str() + "-renamed";
    std::filesystem::rename(storage.path(), moved);
    for (int n = 5; n < 10; ++n) {
        EXPECT_TRUE(writeRecordingFrame(numbered(n))) << n;
        clock->advance(70);
    }
    finish();
    EXPECT_TRUE(finished.kept);
    EXPECT_TRUE(finished.path.empty()) << "no longer in the folder the strip shows";
    const uint32_t written = g_FramesWritten;
    const ProbedVideo v = probeVideo(moved + "/" + name);
    std::filesystem::rename(moved, storage.path());
    ASSERT_TRUE(v.ok);
    EXPECT_EQ(v.frames, static_cast<int>(written));
    EXPECT_GT(v.duration, 0.5);
    EXPECT_NE(log.text().find("was moved to " + moved + "/" + name), std::string::npos)
        << log.text();
}

TEST_F(Recording, AFileSizeLimitFinishesTheFileBeforeIt)
{
    // As under prlimit --fsize: past the limit writes fail (the program ignores SIGXFSZ).
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 1 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string name;
    bool started = start(cv::Size(320, 240), name);
    cv::Mat noise(240, 320, CV_8UC3);
    cv::RNG rng(7);
    int passes = 0;
    while (started && passes < 2000) {
        rng.fill(noise, cv::RNG::UNIFORM, 0, 255); // frames that do not compress
        if (!writeRecordingFrame(noise))
            break;
        clock->advance(70);
        ++passes;
    }
    const uint32_t written = g_FramesWritten;
    finish();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(started);
    EXPECT_LT(passes, 2000) << "the limit must have stopped it";
    EXPECT_NE(log.text().find("recording stopped: the file-size limit is reached"),
              std::string::npos)
        << log.text();
    const ProbedVideo v = probeVideo(file(name));
    ASSERT_TRUE(v.ok);
    EXPECT_EQ(v.frames, static_cast<int>(written));
    EXPECT_GT(v.duration, 0.0) << "the index was written";
    EXPECT_LE(std::filesystem::file_size(file(name)), 1u << 20);
}

TEST_F(Recording, AFullDiskStopsTheRecordingWithAPlayableFile)
{
    uint64_t space = kRecordingReserve * 4;
    setSpaceProbe([&](const std::string&) { return space; });
    std::string name;
    ASSERT_TRUE(start(cv::Size(320, 240), name));
    for (int n = 0; n < 20; ++n) {
        EXPECT_TRUE(writeRecordingFrame(numbered(n)));
        clock->advance(70);
    }
    const uint32_t written = g_FramesWritten;
    space = kRecordingReserve - 1;
    EXPECT_FALSE(writeRecordingFrame(numbered(21)));
    EXPECT_NE(log.text().find("Screen drawFrame() recording stopped: the disk is full"),
              std::string::npos);
    finish();
    EXPECT_EQ(g_FramesWritten, written) << "nothing more is written to a full disk";
    const ProbedVideo v = probeVideo(file(name));
    ASSERT_TRUE(v.ok);
    EXPECT_EQ(v.frames, static_cast<int>(written));
    EXPECT_EQ(finished.failure, "Recording stopped: the disk is full");
    EXPECT_TRUE(finished.kept);
    EXPECT_EQ(finished.path, file(name)) << "what was written joins the strip";
}

// A real small disk that another writer fills to its last byte while frames are written: the
// recording stops with the disk-full notice, and the room kept beyond the file's end still
// takes its index, so the file plays to its last whole frame.
TEST_F(Recording, AnotherWriterFillingARealDiskLeavesAPlayableFile)
{
    SmallDisk small("size=48m");
    if (!small.mounted)
        GTEST_SKIP() << "no small disk can be mounted here: " << std::strerror(small.err);
    const std::string disk = small.at.str();
    g_StoragePath = wxString::FromUTF8(disk);

    std::string name;
    ASSERT_TRUE(start(cv::Size(320, 240), name));
    cv::Mat noise(240, 320, CV_8UC3);
    cv::RNG rng(3);
    auto pass = [&] {
        rng.fill(noise, cv::RNG::UNIFORM, 0, 255); // frames that do not compress
        const bool going = writeRecordingFrame(noise);
        clock->advance(70);
        return going;
    };
    for (int n = 0; n < 10; ++n)
        ASSERT_TRUE(pass());
    std::thread filler([&] {
        const int fd = ::open((disk + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        std::vector<char> chunk(64 << 10, 'x');
        while (fd >= 0 && ::write(fd, chunk.data(), chunk.size()) > 0) {
        }
        if (fd >= 0)
            ::close(fd);
    });
    // Passes go on while the disk fills; the recording stops by itself at the latest when
    // its own frames reach the reserve.
    bool going = true;
    for (int n = 0; going && n < 100000; ++n)
        going = pass();
    filler.join();
    EXPECT_FALSE(going) << "the full disk must stop the recording";
    EXPECT_NE(log.text().find("recording stopped: the disk is full"), std::string::npos)
        << log.text();
    const uint32_t written = g_FramesWritten;
    finish();
    EXPECT_EQ(finished.failure, "Recording stopped: the disk is full");
    const ProbedVideo v = probeVideo(disk + "/" + name);
    ASSERT_TRUE(v.ok);
    EXPECT_EQ(v.frames, static_cast<int>(written));
    EXPECT_GE(v.frames, 10);
    EXPECT_GT(v.duration, 0.0) << "the index was written";
}

TEST_F(Recording, AFullDiskRefusesToStart)
{
    setSpaceProbe([](const std::string&) { return uint64_t{1000}; });
    std::string name;
    EXPECT_FALSE(start(cv::Size(320, 240), name));
    EXPECT_TRUE(std::filesystem::is_empty(storage.path()));
    EXPECT_EQ(started.failure, "Not recording: the disk is full");
}

// A recording that cannot get its first frames written leaves no empty file behind (it would
// show as a broken video), only the disk-full notice.
TEST_F(Recording, ARecordingWithoutAFrameLeavesNoFile)
{
    uint64_t space = kRecordingReserve * 4;
    setSpaceProbe([&](const std::string&) { return space; });
    std::string name;
    ASSERT_TRUE(start(cv::Size(320, 240), name));
    space = kRecordingReserve - 1;
    EXPECT_FALSE(writeRecordingFrame(numbered(0)));
    finish();
    EXPECT_EQ(finished.failure, "Recording stopped: the disk is full");
    EXPECT_FALSE(finished.kept);
    EXPECT_TRUE(log.has("Preview toggleRecord() " + file(name) + " had no frame: removed"))
        << log.text();
    EXPECT_TRUE(std::filesystem::is_empty(storage.path())) << "no file, no marker";
}

// The same on a real disk with 34 MB free: each start leaves nothing behind.
TEST_F(Recording, ARealDiskWithoutRoomForTheReserveLeavesNoFile)
{
    SmallDisk small("size=40m");
    if (!small.mounted)
        GTEST_SKIP() << "no small disk can be mounted here: " << std::strerror(small.err);
    const std::string disk = small.at.str();
    g_StoragePath = wxString::FromUTF8(disk);
    const uint64_t leave = 34ull << 20;
    const int fd = ::open((disk + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_GT(files::freeSpace(disk), leave);
    ASSERT_EQ(::fallocate(fd, 0, 0, off_t(files::freeSpace(disk) - leave)), 0);
    ::close(fd);
    ASSERT_NEAR(double(files::freeSpace(disk)), double(leave), 64 << 10);

    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string name;
        if (start(cv::Size(320, 240), name)) {
            writeRecordingFrame(numbered(attempt));
            clock->advance(70);
            finish();
        }
        clock->advance(1000);
        const std::string said = started.kept ? finished.failure : started.failure;
        EXPECT_TRUE(said == "Not recording: the disk is full" ||
                    said == "Recording stopped: the disk is full")
            << said;
        EXPECT_EQ(entriesIn(disk), 1u) << "only the filler";
    }
}

// Links planted at the names a recording takes (the capture's and its marker's) are taken as
// names in use and never written through.
TEST_F(Recording, LinksAtItsNamesAreNeverWrittenThrough)
{
    TempDir outside;
    const std::string victim = outside.write("victim.txt", "keep me");
    const std::string taken = file("2026-03-07 09_05_33.avi");
    const std::string marker = file(".2026-03-07 09_05_33_2.avi.recording");
    std::filesystem::create_symlink(victim, taken);
    std::filesystem::create_symlink(victim, marker);
    std::string name;
    ASSERT_TRUE(start(cv::Size(320, 240), name));
    EXPECT_EQ(name, "2026-03-07 09_05_33_3.avi");
    EXPECT_EQ(recordingPath(), file(name));
    EXPECT_TRUE(std::filesystem::is_regular_file(file(".2026-03-07 09_05_33_3.avi.recording")));
    EXPECT_TRUE(writeRecordingFrame(numbered(0)));
    finish();
    EXPECT_EQ(readFile(victim), "keep me");
    EXPECT_TRUE(std::filesystem::is_symlink(taken));
    EXPECT_TRUE(std::filesystem::is_symlink(marker));
    EXPECT_FALSE(std::filesystem::is_symlink(file(name)));
    EXPECT_EQ(probeVideo(file(name)).frames, 1);
    EXPECT_EQ(entriesIn(storage.str()), 3u)
        << "the two links and the recording: nothing hidden left";
}

TEST_F(Recording, FramesOfAnotherSizeAreFittedToTheFile)
{
    std::string name;
    ASSERT_TRUE(start(cv::Size(320, 240), name));
    EXPECT_TRUE(writeRecordingFrame(numbered(0)));
    clock->advance(70);
    EXPECT_TRUE(writeRecordingFrame(numbered(1, cv::Size(640, 360))));
    finish();
    EXPECT_EQ(probeVideo(file(name)).frames, 2);
}
