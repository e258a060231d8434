// Recordings whose program was killed: found by their missing index at the next start and
// remuxed into files that play to their last whole frame.
#include "capture_fixture.h"
#include "ffprobe.h"

#include "pipeline/recording_file.h"
#include "pipeline/recording_repair.h"

#include <csignal>
#include <cstdlib>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

// Frame chunks of the movi list that end within the file, counted the way a reader of the
// format would.
int wholeFrameChunks(const std::string& path)
{
    const std::string d = readFile(path);
    auto le32 = [&](size_t at) {
        return uint32_t(uint8_t(d[at])) | uint32_t(uint8_t(d[at + 1])) << 8 |
               uint32_t(uint8_t(d[at + 2])) << 16 | uint32_t(uint8_t(d[at + 3])) << 24;
    };
    const size_t movi = d.find("movi");
    if (movi == std::string::npos)
        return -1;
    int whole = 0;
    for (size_t at = movi + 4; at + 8 <= d.size();) {
        const size_t length = le32(at + 4);
        if (d.compare(at + 2, 2, "dc") == 0 && at + 8 + length <= d.size())
            ++whole;
        at += 8 + length + (length & 1);
    }
    return whole;
}

// An AVI with video and audio as other programs write them, cut before its index; empty
// when ffmpeg cannot make it.
std::string unindexedClip(const std::string& path)
{
    const std::string cmd = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=64x48:rate=5 "
                            "-f lavfi -i sine -t 1 -c:v mpeg4 -c:a pcm_s16le '" +
                            path + "'";
    if (std::system(cmd.c_str()) != 0)
        return std::string();
    const size_t index = readFile(path).rfind("idx1");
    if (index == std::string::npos)
        return std::string();
    fs::resize_file(path, index);
    return path;
}

// A process number that no process has now: the writer of a marker left by a crash.
pid_t endedProcess()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

void mark(const std::string& avi, pid_t writer = endedProcess())
{
    std::ofstream(recordingMarker(avi)) << writer << "\n";
}

mode_t modeOf(const std::string& path)
{
    struct stat st {
    };
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Every entry of a folder with its bytes and mode (a link as its target's name).
std::map<std::string, std::string> contents(const std::string& folder)
{
    std::map<std::string, std::string> all;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string p = e.path().string();
        all[e.path().filename().string()] =
            std::to_string(modeOf(p)) + ":" +
            (fs::is_symlink(p) ? "-> " + fs::read_symlink(p).string() : readFile(p));
    }
    return all;
}

class RecordingRepair : public CaptureFixture
{
protected:
    // A child program records frames and is killed with SIGKILL before it can finish.
    std::string killedRecording(int frames)
    {
        std::string name;
        const pid_t child = ::fork();
        if (child == 0) {
            if (!start(cv::Size(320, 240), name))
                ::_exit(3);
            // Frames that do not compress, so the writer's buffer is a small part of the file.
            cv::Mat noise(240, 320, CV_8UC3);
            cv::RNG rng(11);
            for (int n = 0; n < frames; ++n) {
                rng.fill(noise, cv::RNG::UNIFORM, 0, 255);
                writeRecordingFrame(noise);
                clock->advance(67);
            }
            ::raise(SIGKILL);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        for (auto& e : std::filesystem::directory_iterator(storage.path()))
            if (e.path().extension() == ".avi")
                return e.path().string();
        return std::string();
    }
};

TEST_F(RecordingRepair, AKilledRecordingIsRemuxedToItsLastWholeFrame)
{
    const std::string path = killedRecording(150);
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(recordingLacksIndex(path));
    ASSERT_TRUE(fs::is_regular_file(recordingMarker(path))) << "marked while it was written";
    EXPECT_LE(probeVideo(path).duration, 0.0) << "what the kill left has no duration";
    const auto before = std::filesystem::file_size(path);

    EXPECT_EQ(repairRecordings(storage.str()), 1);
    EXPECT_FALSE(recordingLacksIndex(path));
    EXPECT_EQ(probeStreams(path), "video");
    EXPECT_EQ(contents(storage.str()).size(), 1u) << "no marker, no temporary file left";
    const ProbedVideo v = probeVideo(path);
    ASSERT_TRUE(v.ok);
    // Frames still in the writer's buffer at the kill are lost; those on the disk are kept.
    EXPECT_GE(v.frames, 100);
    EXPECT_LE(v.frames, 150);
    EXPECT_NEAR(v.duration, v.frames / 15.0, 0.2);
    EXPECT_EQ(v.codecTag, "DIVX") << "remuxed, not re-encoded";
    EXPECT_GE(std::filesystem::file_size(path) + 64 * 1024, before);
    EXPECT_NE(log.text().find("Preview repairRecordings() " + path + " had no index: repaired, " +
                              std::to_string(v.frames) + " frames kept\n"),
              std::string::npos)
        << log.text();
    // A second start finds nothing to do.
    EXPECT_EQ(repairRecordings(storage.str()), 0);
}

TEST_F(RecordingRepair, ATornLastFrameIsDropped)
{
    const std::string path = killedRecording(60);
    ASSERT_FALSE(path.empty());
    // The kill cut the file at a buffer boundary; cut further, into the frames before.
    for (int cut : {0, 200, 9000, 20000}) {
        SCOPED_TRACE(cut);
        const std::string copy = storage / ("cut" + std::to_string(cut) + ".avi");
        std::filesystem::copy_file(path, copy);
        std::filesystem::resize_file(copy, std::filesystem::file_size(copy) - cut);
        const int whole = wholeFrameChunks(copy);
        ASSERT_GT(whole, 10);
        int kept = 0;
        ASSERT_EQ(repairRecording(copy, &kept), RepairResult::repaired);
        EXPECT_EQ(kept, whole);
        const ProbedVideo v = probeVideo(copy);
        EXPECT_EQ(v.frames, whole);
        EXPECT_NEAR(v.duration, whole / 15.0, 0.1);
    }
}

TEST_F(RecordingRepair, FinishedAndUnrepairableRecordingsStayAsTheyAre)
{
    std::string name;
    ASSERT_TRUE(start(cv::Size(320, 240), name));
    EXPECT_TRUE(fs::is_regular_file(recordingMarker(file(name))));
    for (int n = 0; n < 10; ++n) {
        writeRecordingFrame(numbered(n));
        clock->advance(67);
    }
    finishRecording();
    EXPECT_FALSE(fs::exists(recordingMarker(file(name)))) << "the closed file is complete";
    EXPECT_FALSE(recordingLacksIndex(file(name)));
    // Its own recording that holds nothing to keep: a header and nothing.
    mark(storage.write("RIFF.avi", std::string("RIFF\0\0\0\0AVI LIST", 16)));
    mark(file("gone.avi")); // a marker whose recording was removed
    const auto sizeBefore = fs::file_size(file(name));
    EXPECT_EQ(repairRecordings(storage.str()), 0);
    EXPECT_EQ(fs::file_size(file(name)), sizeBefore);
    EXPECT_TRUE(log.has("Preview repairRecordings() " + file("RIFF.avi") +
                        " has no index and could not be repaired"))
        << log.text();
    EXPECT_EQ(readFile(file("RIFF.avi")), std::string("RIFF\0\0\0\0AVI LIST", 16));
    EXPECT_TRUE(fs::exists(recordingMarker(file("RIFF.avi")))) << "tried again at the next start";
    EXPECT_FALSE(fs::exists(recordingMarker(file("gone.avi"))));
    EXPECT_EQ(log.text().find("gone.avi"), std::string::npos) << "removed quietly";
}

// Someone else's videos in the storage folder (a phone clip with sound and no index, a
// read-only one, a link to one outside, one whose marker is not this user's) stay exactly as
// they are.
TEST_F(RecordingRepair, FilesItDidNotMarkAreNeverTouched)
{
    ASSERT_FALSE(unindexedClip(file("phone clip.avi")).empty()) << "ffmpeg makes the inputs";
    ASSERT_FALSE(unindexedClip(file("locked.avi")).empty());
    ASSERT_EQ(::chmod(file("locked.avi").c_str(), 0444), 0);
    storage.write("notes.avi", "not a video at all");
    TempDir outside;
    const std::string victim = unindexedClip(outside / "victim.avi");
    fs::create_symlink(victim, file("linked.avi"));
    mark(file("linked.avi"));
    ASSERT_FALSE(unindexedClip(file("theirs.avi")).empty());
    mark(file("theirs.avi"));
    if (::geteuid() == 0)
        ASSERT_EQ(::chown(recordingMarker(file("theirs.avi")).c_str(), 65534, 65534), 0);
    else
        fs::remove(recordingMarker(file("theirs.avi"))); // no other owner to give it
    // One that another window of the program is recording right now.
    ASSERT_FALSE(unindexedClip(file("live.avi")).empty());
    mark(file("live.avi"), ::getppid());
    const auto before = contents(storage.str());
    const std::string victimBefore = readFile(victim);

    EXPECT_EQ(repairRecordings(storage.str()), 0);
    EXPECT_EQ(contents(storage.str()), before);
    EXPECT_EQ(readFile(victim), victimBefore);
    EXPECT_EQ(modeOf(file("locked.avi")), 0444u);
    EXPECT_TRUE(log.has("Preview repairRecordings() " + file("linked.avi") +
                        " is not a file of this user: left alone"))
        << log.text();
    EXPECT_EQ(log.text().find("phone clip"), std::string::npos) << log.text();
    EXPECT_TRUE(log.has("Preview repairRecordings() " + file("live.avi") +
                        " is being recorded by process " + std::to_string(::getppid()) +
                        ": left alone"))
        << log.text();
}

// Its own recording with a sound track keeps both streams, every packet and its mode; a
// read-only one is left as it is; a link at the repair's old temporary name is not followed.
TEST_F(RecordingRepair, AMarkedRecordingKeepsEveryStreamAndItsMode)
{
    const std::string avi = unindexedClip(file("2026-03-07 09_05_33.avi"));
    ASSERT_FALSE(avi.empty()) << "ffmpeg makes the inputs";
    const int audioPackets = probePackets(avi, "a:0");
    ASSERT_GT(audioPackets, 10);
    mark(avi);
    ASSERT_EQ(::chmod(avi.c_str(), 0640), 0);
    const std::string locked = unindexedClip(file("2026-03-07 09_05_34.avi"));
    mark(locked);
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    const std::string lockedBytes = readFile(locked);
    TempDir outside;
    const std::string victim = outside.write("victim.txt", "keep me");
    fs::create_symlink(victim, file(".2026-03-07 09_05_33.avi.repair"));

    EXPECT_EQ(repairRecordings(storage.str()), 1);
    EXPECT_FALSE(recordingLacksIndex(avi));
    EXPECT_EQ(probeStreams(avi), "video audio");
    EXPECT_EQ(probePackets(avi, "a:0"), audioPackets);
    EXPECT_EQ(probeVideo(avi).frames, 5);
    EXPECT_EQ(modeOf(avi), 0640u);
    EXPECT_FALSE(fs::exists(recordingMarker(avi)));
    EXPECT_TRUE(
        log.has("Preview repairRecordings() " + avi + " had no index: repaired, 5 frames kept"))
        << log.text();

    EXPECT_EQ(readFile(locked), lockedBytes);
    EXPECT_EQ(modeOf(locked), 0444u);
    EXPECT_TRUE(fs::exists(recordingMarker(locked)));
    EXPECT_TRUE(log.has("Preview repairRecordings() " + locked +
                        " has no index but is read-only: left as it is"))
        << log.text();

    EXPECT_EQ(readFile(victim), "keep me");
    EXPECT_TRUE(fs::is_symlink(file(".2026-03-07 09_05_33.avi.repair")));
    EXPECT_EQ(contents(storage.str()).size(), 4u) << "no temporary file left";
}

} // namespace
