// Videos whose headers claim huge frames are refused before any decoder opens them, and every
// opener of a photo or a video stays small and quick on the files that took gigabytes.
#include "browse/bounded_photo.h"
#include "browse/key_frame_reader.h"
#include "browse/video_budget.h"
#include "browse/video_source.h"

#include "support/hostile_media.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

struct ChildRun {
    bool finished = false; // exited by itself, with status 0
    long peakKb = 0;
    double seconds = 0;
};

long residentKb(pid_t pid)
{
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Runs work in a child process and reports its peak resident memory above what it inherited
// (the tests before it may have left the parent large). A child that passes limitKb or
// limitSeconds is killed at once rather than allowed to take the machine down.
ChildRun runInChild(const std::function<bool()>& work, long limitKb, double limitSeconds)
{
    const long inherited = residentKb(getpid());
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0)
        _exit(work() ? 0 : 1);
    ChildRun run;
    int status = 0;
    struct rusage usage {
    };
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        run.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (done == pid)
            break;
        if (done < 0)
            return run;
        if (residentKb(pid) - inherited > limitKb || run.seconds > limitSeconds) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            run.peakKb = usage.ru_maxrss - inherited;
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.peakKb = usage.ru_maxrss - inherited;
    return run;
}

std::string smallFrame()
{
    return hostile::greyJpeg(64, 48);
}

} // namespace

TEST(VideoBudget, HugeOrUnknownFramesAreRefusedBeforeAnyDecoder)
{
    TempDir dir;
    // The yardstick: the same hand-made file at a sane size is read and played.
    const std::string fine = dir.write("fine.avi", hostile::mjpegAvi(smallFrame(), 64, 48));
    EXPECT_TRUE(videoWithinBudget(fine));
    VideoSource source;
    ASSERT_TRUE(source.open(fine));
    cv::Mat frame;
    ASSERT_TRUE(source.read(frame));
    EXPECT_EQ(frame.size(), cv::Size(64, 48));

    const std::string big = hostile::greyJpeg(16000, 16000);
    const std::string bomb = dir.write("bomb.avi", hostile::mjpegAvi(big, 16000, 16000));
    // The container says 64 × 48, the frame itself 16000 × 16000: the decoder goes by the frame.
    const std::string liar = dir.write("liar.avi", hostile::mjpegAvi(big, 64, 48));
    // The container claims what the frame does not.
    const std::string claim = dir.write("claim.avi", hostile::mjpegAvi(smallFrame(), 7681, 4320));
    const std::string noHeader =
        dir.write("no-header.avi", hostile::mjpegAvi(std::string(600, '\x55'), 64, 48));
    const std::string text = dir.write("text.avi", std::string(4000, 't'));
    ASSERT_EQ(::mkfifo((dir / "fifo.avi").c_str(), 0600), 0);
    for (const std::string& path : {bomb, liar, claim, noHeader, text, dir / "fifo.avi"}) {
        EXPECT_FALSE(videoWithinBudget(path)) << path;
        EXPECT_FALSE(source.open(path)) << path;
        EXPECT_FALSE(source.isOpen());
        KeyFrameReader keys;
        EXPECT_FALSE(keys.open(path)) << path;
    }
    // 8K itself is allowed.
    EXPECT_TRUE(videoWithinBudget(
        dir.write("8k.avi", hostile::mjpegAvi(hostile::baselineJpeg(7680, 4320), 7680, 4320))));
}

TEST(DecodeBudget, OpeningEachBombStaysSmallAndQuick)
{
    TempDir dir;
    const std::string progressive =
        dir.write("progressive.jpg", hostile::progressiveJpeg(40000, 40000));
    const std::string baseline = dir.write("baseline.jpg", hostile::baselineJpeg(56568, 56568));
    const std::string video =
        dir.write("bomb.avi", hostile::mjpegAvi(hostile::greyJpeg(16000, 16000), 16000, 16000));
    const ChildRun run = runInChild(
        [&] {
            bool refused = true;
            for (const std::string& photo : {progressive, baseline})
                refused = refused && decodePhotoBounded(photo).empty() &&
                          decodePhotoBounded(photo, 148, 111).empty();
            // Opened, the first frame would be read as a thumbnail or the player reads it.
            cv::Mat frame;
            VideoSource source;
            const bool played = source.open(video) && source.read(frame);
            KeyFrameReader keys;
            const bool scrubbed = keys.open(video) && keys.read(0, frame) >= 0;
            return refused && !source.isOpen() && !keys.isOpen() && !played && !scrubbed;
        },
        200 * 1024, 5.0);
    RecordProperty("peak_kb", std::to_string(run.peakKb));
    EXPECT_TRUE(run.finished) << "peak " << run.peakKb << " KB after " << run.seconds << " s";
    EXPECT_LT(run.peakKb, 200 * 1024);
    EXPECT_LT(run.seconds, 5.0);
}
