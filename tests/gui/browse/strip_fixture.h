// The main frame with the real thumbnail strip over a storage folder the test fills, and a
// browse tab that notes what the strip asks of it.
#pragma once

#include "support/frame_harness.h"

#include "app/background_window.h"
#include "browse/orvex_browse_state.h"

#include <wx/bmpbuttn.h>

#include <opencv2/imgcodecs.hpp>

#include <filesystem>

// The browse tab, noting the files it is asked to show and when it lets go of them.
class NotingBrowseState : public COrvexBrowseState
{
public:
    using COrvexBrowseState::COrvexBrowseState;
    std::vector<std::string> opened; // file names
    std::vector<std::string> events;
    void openFile(const std::string& path) override
    {
        opened.push_back(std::filesystem::path(path).filename().string());
    }
    void releaseMedia() override { events.push_back("release"); }
    void enter() override
    {
        COrvexBrowseState::enter();
        if (!g_BrowsePanel->isViewing())
            static_cast<COrvexBrowsePanel*>(g_BrowsePanel)->setViewing(true);
    }
    void leave() override
    {
        COrvexBrowseState::leave();
        if (g_BrowsePanel->isViewing())
            static_cast<COrvexBrowsePanel*>(g_BrowsePanel)->setViewing(false);
    }
};

class StripFixture : public FrameFixture
{
protected:
    void adjustParts(ShellParts& p) override
    {
        p.browse = [this](wxWindow* parent, const wxPoint& origin) -> COrvexState* {
            return browse = new NotingBrowseState(parent, origin);
        };
    }

    void SetUp() override
    {
        FrameFixture::SetUp();
        strip = static_cast<COrvexBrowsePanel*>(g_BrowsePanel);
        storage = toUtf8(g_StoragePath);
    }

    void TearDown() override
    {
        if (strip)
            strip->setDeleteQuestion({});
        FrameFixture::TearDown();
    }

    // A small photo of one colour (BGR), named as the program names snapshots.
    std::string photo(const std::string& name, cv::Scalar bgr = {40, 120, 200})
    {
        const std::string path = storage + "/" + name;
        cv::imwrite(path, cv::Mat(48, 64, CV_8UC3, bgr));
        return path;
    }
    // Photos "1.jpg" .. "n.jpg" (1-based, so name order is number order up to 9).
    void photos(int n)
    {
        for (int i = 1; i <= n; ++i)
            photo(std::to_string(i) + ".jpg", cv::Scalar(20 * i, 255 - 20 * i, 100));
    }
    std::vector<std::string> page() const
    {
        std::vector<std::string> names;
        for (int k = 0; k < 4; ++k)
            names.push_back(strip->slot(k)->kind == SlotEmpty
                                ? std::string()
                                : std::filesystem::path(strip->slotPath(k)).filename().string());
        return names;
    }
    // Which slot carries the frame (-1: none).
    int framed() const
    {
        int found = -1;
        for (int k = 0; k < 4; ++k)
            if (strip->slot(k)->selected)
                found = found == -1 ? k : -2;
        return found;
    }
    void enterBrowse(int slot)
    {
        strip->selectSlot(slot);
        ASSERT_EQ(g_CurrentState, browse);
        ASSERT_TRUE(strip->isViewing());
    }

    NotingBrowseState* browse = nullptr;
    COrvexBrowsePanel* strip = nullptr;
    std::string storage;
};

using Names = std::vector<std::string>;
