// The tests' guard of the viewer's process-wide values: a value it misses leaks from one
// test into the next.
#include "support/temp_dir.h"
#include "support/viewer_globals.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

namespace
{

TEST(ViewerGlobals, EveryDeclaredValueIsOnTheList)
{
    const std::string list = readFile(ORVEX_SOURCE_DIR "/tests/support/viewer_globals.h");
    const std::regex declared(R"(^extern\b[^;(]*\b(g_\w+)\s*(\[[^\]]*\])?\s*;)");
    std::set<std::string> seen;
    for (const char* room : {"app", "capture", "pipeline", "browse", "setup", "devctl", "platform"})
        for (const auto& e :
             std::filesystem::directory_iterator(std::string(ORVEX_SOURCE_DIR) + "/" + room)) {
            if (e.path().extension() != ".h")
                continue;
            std::istringstream in(readFile(e.path().string()));
            std::smatch m;
            for (std::string line; std::getline(in, line);)
                if (std::regex_search(line, m, declared))
                    seen.insert(m[1]);
        }
    EXPECT_GT(seen.size(), 30u) << "the declarations were not found";
    for (const std::string& name : seen)
        EXPECT_TRUE(std::regex_search(list, std::regex("\\b" + name + "\\b"))) << name;
}

TEST(ViewerGlobals, WhatATestChangesIsPutBack)
{
    g_StoragePath = "/before";
    g_Rotation = 1;
    std::strcpy(g_LogLine, "before\n");
    g_FramesPainted = 5;
    FILE* before = g_LogFile;
    {
        ViewerGlobals globals;
        g_StoragePath = "/during";
        g_Rotation = 3;
        std::strcpy(g_LogLine, "during\n");
        g_FramesPainted = 9;
        g_States.push_back(nullptr);
        g_VideoWriter = std::make_unique<cv::VideoWriter>();
        g_LogFile = std::tmpfile();
    }
    EXPECT_EQ(g_StoragePath, "/before");
    EXPECT_EQ(g_Rotation, 1);
    EXPECT_STREQ(g_LogLine, "before\n");
    EXPECT_EQ(static_cast<uint64_t>(g_FramesPainted), 5u);
    EXPECT_TRUE(g_States.empty());
    EXPECT_EQ(g_VideoWriter, nullptr);
    EXPECT_EQ(g_LogFile, before);
    g_StoragePath.clear();
    g_Rotation = 0;
    g_LogLine[0] = '\0';
    g_FramesPainted = 0;
}

} // namespace
