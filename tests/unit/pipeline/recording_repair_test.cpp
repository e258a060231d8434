// Recordings whose program was killed: found by their missing index at the next start and
// remuxed into files that play to their last whole frame.
#include "capture_fixture.h"
#include "ffprobe.h"

#include "pipeline/recording_repair.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

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

class RecordingRepair : public CaptureFixture
{
protected:
    // A child program records frames and is killed with SIGKILL before it can finish.
    std::string killedRecording(int frames)
    {
        std::string name;
        const pid_t child = ::fork();
        if (child == 0) {
            if (!startRecording(cv::Size(320, 240), clock->localTime(), name))
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
    EXPECT_LE(probeVideo(path).duration, 0.0) << "what the kill left has no duration";
    const auto before = std::filesystem::file_size(path);

    EXPECT_EQ(repairRecordings(storage.str()), 1);
    EXPECT_FALSE(recordingLacksIndex(path));
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
        ASSERT_TRUE(repairRecording(copy, &kept));
        EXPECT_EQ(kept, whole);
        const ProbedVideo v = probeVideo(copy);
        EXPECT_EQ(v.frames, whole);
        EXPECT_NEAR(v.duration, whole / 15.0, 0.1);
    }
}

TEST_F(RecordingRepair, FinishedFilesAndOtherFilesAreLeftAlone)
{
    std::string name;
    ASSERT_TRUE(startRecording(cv::Size(320, 240), clock->localTime(), name));
    for (int n = 0; n < 10; ++n) {
        writeRecordingFrame(numbered(n));
        clock->advance(67);
    }
    finishRecording();
    EXPECT_FALSE(recordingLacksIndex(file(name)));
    storage.write("notes.avi", "not a video at all");
    storage.write("RIFF.avi", std::string("RIFF\0\0\0\0AVI LIST", 16)); // a header and nothing
    const auto sizeBefore = std::filesystem::file_size(file(name));
    EXPECT_EQ(repairRecordings(storage.str()), 0);
    EXPECT_EQ(std::filesystem::file_size(file(name)), sizeBefore);
    EXPECT_EQ(readFile(file("notes.avi")), "not a video at all");
    EXPECT_NE(log.text().find("RIFF.avi has no index and could not be repaired"), std::string::npos)
        << log.text();
    EXPECT_TRUE(exists("RIFF.avi")) << "what cannot be repaired stays as it was";
}

} // namespace
