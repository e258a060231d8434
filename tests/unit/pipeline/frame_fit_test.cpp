#include "pipeline/frame_fit.h"

#include <gtest/gtest.h>

namespace
{
struct FitCase {
    int w, h, W, H, rotation;
    bool full;
    FitResult want;
};

void PrintTo(const FitCase& c, std::ostream* os)
{
    *os << c.w << "x" << c.h << " in " << c.W << "x" << c.H << " rot " << c.rotation
        << (c.full ? " full" : "");
}

class FitRules : public ::testing::TestWithParam<FitCase>
{
};
} // namespace

TEST_P(FitRules, PaintedSizeAndOffset)
{
    const FitCase& c = GetParam();
    const FitResult r = fitFrame(c.w, c.h, c.W, c.H, c.rotation, c.full);
    EXPECT_EQ(r.width, c.want.width);
    EXPECT_EQ(r.height, c.want.height);
    EXPECT_EQ(r.x, c.want.x);
    EXPECT_EQ(r.y, c.want.y);
}

INSTANTIATE_TEST_SUITE_P(Frames, FitRules,
                         ::testing::Values(
                             // 16:9 limited by the width, then by the height
                             FitCase{1280, 720, 1000, 700, 0, false, {1000, 562, 0, 69}},
                             FitCase{1280, 720, 1400, 600, 0, false, {1066, 600, 167, 0}},
                             // square frames take the shorter side
                             FitCase{800, 800, 1000, 700, 0, false, {700, 700, 150, 0}},
                             FitCase{400, 400, 640, 480, 3, false, {480, 480, 80, 0}},
                             // everything else is shown as 4:3
                             FitCase{1280, 960, 640, 480, 0, false, {640, 480, 0, 0}},
                             FitCase{720, 576, 1000, 700, 0, false, {933, 700, 33, 0}},
                             // a quarter turn fills the window; a half turn keeps the shape
                             FitCase{640, 480, 1000, 700, 1, false, {1000, 700, 0, 0}},
                             FitCase{1280, 720, 1000, 700, 3, false, {1000, 700, 0, 0}},
                             FitCase{1280, 720, 1000, 700, 2, false, {1000, 562, 0, 69}},
                             // full screen stretches whatever comes
                             FitCase{800, 800, 1600, 1000, 0, true, {1600, 1000, 0, 0}}));
