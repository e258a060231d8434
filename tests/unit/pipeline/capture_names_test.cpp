#include "app/data_files.h"
#include "pipeline/capture_names.h"
#include "support/temp_dir.h"

#include "support/dates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>


TEST(CaptureNames, DateAndTimeOfTheCapture)
{
    EXPECT_EQ(captureName(march7(), ".jpg"), "2026-03-07 09_05_33.jpg");
    EXPECT_EQ(captureName(march7(), ".avi"), "2026-03-07 09_05_33.avi");
    platform::LocalTime t = march7();
    t.hour = 0;
    t.minute = 0;
    t.second = 0;
    t.month = 12;
    EXPECT_EQ(captureName(t, ".jpg"), "2026-12-07 00_00_00.jpg");
}

TEST(CaptureNames, LaterCapturesOfASecondSortAfterTheEarlierOnes)
{
    EXPECT_EQ(captureName(march7(), ".jpg", 2), "2026-03-07 09_05_33_2.jpg");
    std::vector<std::string> names;
    for (int n = 1; n <= 25; ++n)
        names.push_back(captureName(march7(), ".jpg", n));
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, names);
    platform::LocalTime next = march7();
    next.second = 34;
    EXPECT_LT(names.back(), captureName(next, ".jpg")) << "and before the next second";
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
}

TEST(CaptureNames, FreeNameSkipsTakenOnes)
{
    TempDir dir;
    const wxString old = g_StoragePath;
    g_StoragePath = wxString::FromUTF8(dir.str() + "/");
    EXPECT_EQ(toUtf8(storageFile("a.jpg")), dir.str() + "/a.jpg") << "one separator";
    EXPECT_EQ(freeCaptureName(march7(), ".jpg"), "2026-03-07 09_05_33.jpg");
    dir.write("2026-03-07 09_05_33.jpg", "x");
    dir.write("2026-03-07 09_05_33_2.jpg", "x");
    dir.write("2026-03-07 09_05_33.avi", "x");
    EXPECT_EQ(freeCaptureName(march7(), ".jpg"), "2026-03-07 09_05_33_3.jpg");
    EXPECT_EQ(freeCaptureName(march7(), ".avi"), "2026-03-07 09_05_33_2.avi");
    g_StoragePath = old;
}
