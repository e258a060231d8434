// Numbered videos of the three kinds users' files come in (the program's recorder, H.264 MOV
// and MPEG-4 AVI from ffmpeg), for the tests of the player's readers.
#pragma once

#include "unit/browse/recorded_video.h"
#include "unit/pipeline/capture_fixture.h"

#include <gtest/gtest.h>

#include <string>

enum class Maker { Recorder, FfmpegMov, FfmpegAvi };

const cv::Size kSize(320, 240);
constexpr int kFrames = 75;

class VideoKinds : public CaptureFixture, public ::testing::WithParamInterface<Maker>
{
protected:
    std::string make(int count = kFrames)
    {
        switch (GetParam()) {
        case Maker::Recorder:
            return recordNumbered(*clock, kSize, count);
        case Maker::FfmpegMov: {
            const std::string p = storage / "made.mov";
            return numbered::h264Mov(p, kSize, count, 25) ? p : std::string();
        }
        case Maker::FfmpegAvi: {
            const std::string p = storage / "made.avi";
            return numbered::ffmpegVideo(p, kSize, count, 30, "-c:v mpeg4 -g 12 -q:v 3 -f avi")
                       ? p
                       : std::string();
        }
        }
        return {};
    }
};

inline std::string makerName(const ::testing::TestParamInfo<Maker>& info)
{
    switch (info.param) {
    case Maker::Recorder:
        return "Recorder";
    case Maker::FfmpegMov:
        return "FfmpegMov";
    default:
        return "FfmpegAvi";
    }
}
