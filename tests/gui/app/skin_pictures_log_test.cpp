// Skin pictures that are missing or damaged: blank areas, one log line each per run.
#include "app/data_files.h"
#include "app/skin_bitmap.h"

#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "support/viewer_globals.h"

#include <gtest/gtest.h>

#include <wx/image.h>

#include <algorithm>

namespace
{

size_t countOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(SkinPictures, MissingOrDamagedOnesAreLoggedOnceEach)
{
    ViewerGlobals globals;
    TempDir program;
    g_ProgramDir = wxString::FromUTF8(program.str());
    program.write("res/damaged_once.bmp", "BM this is no picture");
    std::filesystem::create_directories(program / "res/folder_once.bmp");
    wxImage good(4, 3);
    ASSERT_TRUE(
        good.SaveFile(wxString::FromUTF8(program / "res/good_once.bmp"), wxBITMAP_TYPE_BMP));
    LogCapture capture;

    for (int run = 0; run < 3; ++run) {
        EXPECT_FALSE(loadSkinPicture("missing_once.bmp").IsOk());
        EXPECT_FALSE(loadSkinPicture("damaged_once.bmp", 20, 10).IsOk());
        EXPECT_FALSE(loadSkinPicture("folder_once.bmp").IsOk());
        const wxBitmap ok = loadSkinPicture("good_once.bmp", 8, 6);
        ASSERT_TRUE(ok.IsOk());
        EXPECT_EQ(ok.GetSize(), wxSize(8, 6));
    }
    const std::string log = capture.text();
    EXPECT_EQ(countOf(log, "Frame loadSkinPicture() missing_once.bmp: No such file or directory\n"),
              1u)
        << log;
    EXPECT_EQ(countOf(log, "Frame loadSkinPicture() damaged_once.bmp: cannot be decoded\n"), 1u)
        << log;
    EXPECT_EQ(countOf(log, "Frame loadSkinPicture() folder_once.bmp: is a folder, not a file\n"),
              1u)
        << log;
    EXPECT_EQ(countOf(log, "good_once"), 0u) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << log;
}

} // namespace
