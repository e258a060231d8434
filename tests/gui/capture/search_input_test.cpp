// The window while the camera search waits: real keys and clicks through the X server are
// taken, the search is started over when asked again, and closing the window ends it cleanly.
// The clock stands still while the test looks, so the search cannot end meanwhile.
#include "support/frame_harness.h"

#include "app/background_window.h"
#include "support/x_input.h"

#include <filesystem>

namespace
{

class SearchInput : public PreviewFixture
{
protected:
    void SetUp() override
    {
        PreviewFixture::SetUp();
        if (!xinput::available())
            GTEST_SKIP() << "no XTEST on this display";
        // Keys go where the pointer and the focus are: over the frame, focus on its background.
        frame->Raise();
        const wxPoint c = screenCentre(frame->background());
        xinput::moveTo(c.x, c.y);
        pumpEvents(50);
        frame->takeFocus();
        pumpEvents(50);
    }

    // Ticks until the search under way has written the line (its nth time); it is still
    // waiting then.
    void tickUntilLogged(const std::string& line, size_t times = 1)
    {
        for (int i = 0; i < 3000 && log.count(line) < times; ++i)
            tick();
        ASSERT_EQ(log.count(line), times) << log.text();
        ASSERT_TRUE(preview->searching());
    }

    size_t snapshots() const
    {
        size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(toUtf8(g_StoragePath)))
            n += e.path().extension() == ".jpg";
        return n;
    }

    void expectScopeFound()
    {
        EXPECT_EQ(preview->cameraKind(), KindKelmo);
        EXPECT_EQ(preview->modelIndex(SlotKelmo), 1);
        ASSERT_NE(preview->capture(), nullptr);
        EXPECT_EQ(preview->capture(), preview->cameraAt(1));
        EXPECT_FALSE(scopesim::scopeState("USB Inspection Camera")->testPicture);
    }
};

} // namespace

TEST_F(SearchInput, KeysAndClicksDuringTheSearchAreTakenInTheirOrder)
{
    tick(4);
    tickUntilLogged("Preview refreshCamera() search camera");

    // Mirror and zoom act on the picture only: at once.
    const wxBitmap unmirrored = preview->toolButton(2)->shown();
    ASSERT_TRUE(clickOnWindow(preview->toolButton(2)));
    EXPECT_TRUE(pumpUntil([] { return g_Mirror; }, 30000)) << "the mirror click was not taken";
    ASSERT_TRUE(xinput::key("Up"));
    EXPECT_TRUE(pumpUntil([] { return g_ZoomFactor < 1.0f; }, 30000))
        << "the zoom key was not taken";
    ASSERT_TRUE(preview->searching());

    // A snapshot needs the camera the search is choosing: it waits, and so does what follows.
    const wxPoint c = screenCentre(frame->background());
    ASSERT_TRUE(xinput::moveTo(c.x, c.y));
    ASSERT_TRUE(xinput::key("space"));
    ASSERT_TRUE(xinput::key("Return"));
    ASSERT_TRUE(pumpUntil([&] { return preview->inputWaiting() == 2; }, 30000));
    EXPECT_FALSE(sameBitmap(preview->toolButton(2)->shown(), unmirrored))
        << "Enter acted before the snapshot it came after";
    EXPECT_EQ(snapshots(), 0u);
    ASSERT_TRUE(preview->searching());

    finishSearch();
    pumpEvents(20);
    expectScopeFound();
    // Each step of the search as before, in its order.
    const char* expected[] = {
        "Preview refreshCamera() Count(0)",
        "Preview refreshCamera() search camera",
        "Preview refreshCamera() DeviceCamCount(2)",
        "Preview refreshCamera() No=0, camera(TRUE)",
        "Preview refreshCamera() No=1, camera(TRUE)",
        "Preview refreshCamera() haveKelmo(TRUE), Count(2)",
        "Preview refreshCamera() camera(0) NoQueryFrame",
        "Preview refreshCamera() camera(1) Is K2200",
        "Preview refreshCamera() K2200(1) QueryFrame OK!",
    };
    const std::string all = log.text();
    size_t at = 0;
    for (const char* line : expected) {
        at = all.find(std::string(line) + "\n", at);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "\n" << all;
    }
    // The snapshot, then Enter's mirror toggle (its button at least: the picture stays as it
    // is while a snapshot settles), once the scope is open.
    EXPECT_TRUE(sameBitmap(preview->toolButton(2)->shown(), unmirrored));
    for (int i = 0; i < 100 && snapshots() == 0; ++i)
        tick();
    EXPECT_EQ(snapshots(), 1u);
}

TEST_F(SearchInput, ATabClickAfterAKeyThatWaitsWaitsWithIt)
{
    tick(4);
    tickUntilLogged("Preview refreshCamera() search camera");
    ASSERT_TRUE(xinput::key("F2")); // a turn of the picture, the kind's to make
    ASSERT_TRUE(clickOnWindow(g_States.at(StateSetup)->tabButton()));
    ASSERT_TRUE(pumpUntil([&] { return preview->inputWaiting() == 2; }, 30000));
    EXPECT_EQ(g_CurrentState->id(), StatePreview);
    EXPECT_EQ(g_Rotation, 0);
    finishSearch();
    EXPECT_EQ(g_Rotation, 1);
    EXPECT_EQ(g_CurrentState->id(), StateSetup);
}

TEST_F(SearchInput, ASearchAskedForDuringOneStartsOver)
{
    tick(4);
    tickUntilLogged("Preview refreshCamera() No=1, camera(TRUE)");
    // A second search, then a device change, each in the middle of the one before.
    preview->refreshCamera();
    tickUntilLogged("Preview refreshCamera() search camera", 2);
    ASSERT_TRUE(scopesim::plug("Integrated Camera", false));
    ASSERT_TRUE(pumpUntil(
        [&] {
            return log.has(
                "Frame MSWWindowProc() DBT_DEVICEREMOVECOMPLETE isHandle(0) g_UsbState(1)");
        },
        30000));
    finishSearch();
    EXPECT_EQ(log.count("Preview refreshCamera() search camera"), 3u);
    EXPECT_EQ(log.count("Preview refreshCamera() DeviceCamCount(1)"), 1u);
    // Only the last search got as far as opening a camera: the scope, now the only one.
    EXPECT_EQ(log.count("Preview refreshCamera() K2200(0) QueryFrame OK!"), 1u) << log.text();
    EXPECT_FALSE(log.has("Preview refreshCamera() K2200(1) QueryFrame OK!"));
    EXPECT_EQ(preview->modelIndex(SlotKelmo), 0);
    EXPECT_EQ(preview->capture(), preview->cameraAt(0));
    EXPECT_EQ(preview->cameraCount(), 1u);
}

TEST_F(SearchInput, ASearchStartedOverWhileTheBarsAreOnPutsTheLivePictureBack)
{
    tick(4);
    // The tick that turns the bars on leaves the search in its pause before it looks for
    // them; once it has looked, frames already taken can let it finish the test in that tick.
    for (int i = 0; i < 3000 && !scopesim::scopeState("USB Inspection Camera")->testPicture; ++i)
        tick();
    ASSERT_TRUE(scopesim::scopeState("USB Inspection Camera")->testPicture) << log.text();
    ASSERT_TRUE(preview->searching());
    EXPECT_FALSE(log.has("Preview refreshCamera() haveKelmo(TRUE), Count(2)"));
    preview->refreshCamera();
    EXPECT_FALSE(scopesim::scopeState("USB Inspection Camera")->testPicture);
    finishSearch();
    expectScopeFound();
}

TEST_F(SearchInput, ClosingTheWindowDuringTheSearch)
{
    tick(4);
    tickUntilLogged("Preview refreshCamera() haveKelmo(TRUE), Count(2)");
    ASSERT_TRUE(xinput::key("space"));
    ASSERT_TRUE(pumpUntil([&] { return preview->inputWaiting() == 1; }, 30000));
    frame->Close(true);
    ASSERT_TRUE(pumpUntil([] { return g_MainFrame == nullptr; }));
    // Nothing of the search outlives the window, and the scope shows its live picture again.
    EXPECT_FALSE(scopesim::scopeState("USB Inspection Camera")->testPicture);
    rig->clock->advance(2000);
    pumpEvents(50);
    EXPECT_EQ(snapshots(), 0u);
}
