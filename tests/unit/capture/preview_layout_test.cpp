#include "capture/preview_layout.h"
#include "capture/time_span.h"

#include <gtest/gtest.h>

TEST(PreviewLayout, ToolColumnAtDesignAndScaled)
{
    ToolColumn c = toolColumn(148, 652, 136, 16);
    EXPECT_EQ(c.buttons[0], (SkinRect{140, 20, 108, 108}));
    EXPECT_EQ(c.buttons[3], (SkinRect{140, 20 + 3 * 113, 108, 108}));
    // Taller columns keep the design values.
    EXPECT_EQ(toolColumn(148, 968, 136, 16).buttons[1], (SkinRect{140, 133, 108, 108}));
    // Half size: everything halves, the gap included.
    ToolColumn h = toolColumn(74, 326, 68, 8);
    EXPECT_EQ(h.buttons[0], (SkinRect{70, 10, 54, 54}));
    EXPECT_EQ(h.buttons[1], (SkinRect{70, 10 + 56, 54, 54}));
}

TEST(PreviewLayout, ZoomBarFlushRightBelowTheLabelBar)
{
    ZoomPlace z = zoomPlace(148, 652, 136, 16, 52);
    EXPECT_EQ(z.bar, (SkinRect{270, 68, 14, 300}));
    EXPECT_EQ(z.label, (SkinRect{252, 48, 32, 20}));
    ZoomPlace h = zoomPlace(74, 326, 68, 8, 26);
    EXPECT_EQ(h.bar, (SkinRect{135, 34, 7, 150}));
    EXPECT_EQ(h.label, (SkinRect{126, 24, 16, 10}));
}

TEST(TimeSpan, ElapsedAcrossMidnightAndMonths)
{
    platform::LocalTime a{2026, 3, 7, 9, 5, 33};
    EXPECT_EQ(formatTimeSpan(secondsBetween(a, {2026, 3, 7, 9, 6, 40})), "00:01:07");
    EXPECT_EQ(formatTimeSpan(secondsBetween({2026, 2, 28, 23, 59, 50}, {2026, 3, 1, 0, 0, 5})), "00:00:15");
    EXPECT_EQ(formatTimeSpan(secondsBetween({2024, 2, 28, 23, 0, 0}, {2024, 3, 1, 1, 0, 0})), "26:00:00");
    EXPECT_EQ(formatTimeSpan(0), "00:00:00");
}
