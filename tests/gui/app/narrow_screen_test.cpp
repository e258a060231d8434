#include "support/frame_harness.h"

#include "platform/paths.h"

namespace
{
class NarrowScreen : public FrameFixture
{
protected:
    void SetUp() override
    {
        if (platform::primaryScreenWidth() != 1024)
            GTEST_SKIP() << "needs a screen 1024 pixels wide (its own ctest entry has one)";
        FrameFixture::SetUp();
    }
};
} // namespace

TEST_F(NarrowScreen, ClientAreaIsFourFifthsOfTheScreen)
{
    EXPECT_EQ(frame->GetClientSize(), wxSize(819, 486));
    EXPECT_TRUE(frame->geometry().scaled);
    EXPECT_EQ(frame->canvas().GetSize(), wxSize(819, 486));
    EXPECT_EQ(rectOf(screen), wxRect(206, 51, 456, 344));
    EXPECT_EQ(rectOf(frame->fullScreenButton()), wxRect(622, 427, 45, 45));
}
