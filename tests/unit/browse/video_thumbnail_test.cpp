#include "browse/video_length.h"
#include "browse/video_thumbnail.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{

// A test clip made by ffmpeg's own encoders.
std::string ffmpegClip(const TempDir& dir, const std::string& name, const std::string& args)
{
    const std::string path = dir / name;
    const std::string cmd =
        "ffmpeg -nostdin -hide_banner -loglevel error -y " + args + " '" + path + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return path;
}

std::string be32(uint32_t v)
{
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

std::string box(const std::string& type, const std::string& body)
{
    return be32(static_cast<uint32_t>(8 + body.size())) + type + body;
}

} // namespace

TEST(VideoMark, EightyUnlessThePictureIsSmaller)
{
    EXPECT_EQ(videoMarkSide(148, 111), 80);
    EXPECT_EQ(videoMarkSide(80, 80), 80);
    EXPECT_EQ(videoMarkSide(79, 200), 75);
    EXPECT_EQ(videoMarkSide(70, 52), 48);
    EXPECT_EQ(videoMarkSide(4, 3), 1);
}

TEST(DurationLabel, HoursMinutesSecondsRightAligned)
{
    EXPECT_EQ(durationLabel(75 * 15, 15, -1), " 0 :  1 : 15");
    EXPECT_EQ(durationLabel(1124, 15, -1), " 0 :  1 : 14"); // integer division
    EXPECT_EQ(durationLabel(25 * 3723, 25, -1), " 1 :  2 :  3");
    EXPECT_EQ(durationLabel(30LL * 100 * 3600, 30, -1), "100 :  0 :  0");
}

TEST(DurationLabel, ARateOfZeroOrAnUnknownCountFallsBackToTheContainer)
{
    EXPECT_EQ(durationLabel(30, 0, 2.5), " 0 :  0 :  2");
    EXPECT_EQ(durationLabel(0, 15, 75.0), " 0 :  1 : 15");
    EXPECT_EQ(durationLabel(-5, 15, 61.0), " 0 :  1 :  1");
    EXPECT_EQ(durationLabel(30, 0, -1), "--");
    EXPECT_EQ(durationLabel(0, 0, -1), "--");
    // The count and rate win where both are usable.
    EXPECT_EQ(durationLabel(150, 15, 99.0), " 0 :  0 : 10");
    // The index wins over all: it counts the frames that are there.
    EXPECT_EQ(durationLabel(286331153, 1, 99.0, 5.6), " 0 :  0 :  5");
}

TEST(IndexedLength, TheIndexGivesTheRealLengthWhatTheHeadersSay)
{
    TempDir dir;
    const std::string good = ffmpegClip(
        dir, "good.avi", "-f lavfi -i testsrc=size=64x48:rate=15 -t 5.6 -c:v mpeg4 -vtag DIVX");
    const std::string bytes = readFile(good);
    // The stream header's fields: scale, rate, start, length (frames); and the main header's
    // total frames.
    const size_t strh = bytes.find("strh") + 8, avih = bytes.find("avih") + 8;
    auto patched = [&](const std::string& name, size_t at, uint32_t value, size_t at2 = 0) {
        std::string b = bytes;
        for (size_t where : {at, at2})
            if (where)
                for (int k = 0; k < 4; ++k)
                    b[where + k] = static_cast<char>(value >> (8 * k));
        return dir.write(name, b);
    };
    // A frame count that says 2^31 - 1; a rate of zero.
    for (const std::string& path : {good, patched("count.avi", strh + 32, 0x7fffffff, avih + 16),
                                    patched("rate0.avi", strh + 24, 0)}) {
        const IndexedLength real = indexedLength(path);
        EXPECT_EQ(real.frames, 84) << path;
        EXPECT_NEAR(real.seconds, 5.6, 0.01) << path;
    }
    const std::string mov = ffmpegClip(
        dir, "h264.MOV", "-f lavfi -i testsrc=size=64x48:rate=25 -t 3 -c:v libx264 -pix_fmt yuv420p");
    EXPECT_EQ(indexedLength(mov).frames, 75);
    EXPECT_NEAR(indexedLength(mov).seconds, 3.0, 0.01);
    // No index (the writer never finished), not a video, not there: unknown.
    const size_t idx1 = bytes.find("idx1");
    ASSERT_NE(idx1, std::string::npos);
    EXPECT_EQ(indexedLength(dir.write("noindex.avi", bytes.substr(0, idx1))).frames, -1);
    EXPECT_EQ(indexedLength(dir.write("text.avi", "hello")).frames, -1);
    EXPECT_EQ(indexedLength(dir / "gone.avi").seconds, -1);
}

TEST(ContainerDuration, FilesMadeByFfmpeg)
{
    TempDir dir;
    const std::string avi = ffmpegClip(
        dir, "divx.avi", "-f lavfi -i testsrc=size=64x48:rate=15 -t 75 -c:v mpeg4 -vtag DIVX");
    EXPECT_NEAR(containerDurationSeconds(avi), 75.0, 0.1);
    const std::string mov =
        ffmpegClip(dir, "h264.MOV",
                   "-f lavfi -i testsrc=size=64x48:rate=25 -t 3 -c:v libx264 -pix_fmt yuv420p");
    EXPECT_NEAR(containerDurationSeconds(mov), 3.0, 0.1);
}

TEST(ContainerDuration, DamagedEmptyAndOtherFilesSayNothing)
{
    TempDir dir;
    EXPECT_EQ(containerDurationSeconds(dir / "missing.avi"), -1);
    EXPECT_EQ(containerDurationSeconds(dir.write("empty.avi", "")), -1);
    EXPECT_EQ(containerDurationSeconds(dir.write("text.avi", "just some text, no video at all")),
              -1);
    EXPECT_EQ(
        containerDurationSeconds(dir.write("riff.avi", std::string("RIFF\0\0\0\0AVI LIST", 16))),
        -1);
    // A box claiming more than the file holds.
    EXPECT_EQ(containerDurationSeconds(
                  dir.write("long.mov", be32(0x7FFFFFFF) + "moov" + std::string(16, '\0'))),
              -1);
    // A movie header cut short.
    EXPECT_EQ(containerDurationSeconds(
                  dir.write("short.mov", box("moov", box("mvhd", std::string(8, '\0'))))),
              -1);
}

TEST(ContainerDuration, MovieHeaderOfBothVersions)
{
    TempDir dir;
    std::string v0 = std::string(4, '\0') + be32(0) + be32(0) + be32(600) + be32(600 * 90);
    const std::string a = dir.write("v0.mov", box("ftyp", "qt  ") + box("moov", box("mvhd", v0)));
    EXPECT_DOUBLE_EQ(containerDurationSeconds(a), 90.0);
    std::string v1 =
        std::string("\x01\0\0\0", 4) + std::string(16, '\0') + be32(1000) + be32(0) + be32(42000);
    const std::string b = dir.write("v1.mov", box("moov", box("trak", "") + box("mvhd", v1)));
    EXPECT_DOUBLE_EQ(containerDurationSeconds(b), 42.0);
    std::string zeroScale = std::string(4, '\0') + be32(0) + be32(0) + be32(0) + be32(100);
    EXPECT_EQ(containerDurationSeconds(dir.write("z.mov", box("moov", box("mvhd", zeroScale)))),
              -1);
}
