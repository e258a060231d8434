// The box's use of the library: loading by name, the order of its calls from start to quit,
// exact status sequences, the colour-bar switch, and libraries that are absent or damaged.
#include "box_fixture.h"
#include "fake_bravik_host.h"

#include "support/temp_dir.h"

#include <gmock/gmock.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace devctltest;

namespace
{

std::string fakeDir(const char* variant)
{
    return std::string(FAKE_BRAVIK_DIR) + "/" + variant;
}

bool tableEmpty()
{
    const BravikTable& t = BravikApi;
    return !t.BV_InitializeCOM && !t.BV_UninitializeCOM && !t.BV_UVCInitialize &&
           !t.BV_UVCRelease && !t.BV_UvcReadReg && !t.BV_UvcWriteReg && !t.BV_UvcReadEEPCont &&
           !t.BV_UvcWriteEEPCont;
}

class Binding : public BoxTest
{
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        fake().reset();
        g_ProgramDir = fakeDir("full");
        fake().script(0x7A, 0x0000, {0x5A10});
    }
    void TearDown() override
    {
        BoxTest::TearDown();
        EXPECT_TRUE(tableEmpty());
    }
    static fakebravik::Host& fake() { return fakebravik::host(); }
    std::vector<std::string> newCalls() { return fake().since(m_mark); }
    std::vector<std::string> writes()
    {
        std::vector<std::string> out;
        for (auto& c : newCalls())
            if (c.rfind("WriteReg", 0) == 0)
                out.push_back(c);
        return out;
    }

private:
    size_t m_mark = 0;
};

TEST_F(Binding, StartOpensTheScopeInOrderAndQuitClosesInOrder)
{
    fake().script(0xDC, 0x00, {0x07, 0x03});
    makeBox();
    EXPECT_THAT(newCalls(), ElementsAre("InitializeCOM(2)", "UVCRelease(null,null)",
                                        "UVCInitialize(0x510,0x5e3)", "ReadReg(3,0xdc,0x0)",
                                        "WriteReg(3,0xdc,0x0,0x7)"));
    ASSERT_NE(box->unit(), nullptr);
    EXPECT_TRUE(box->libraryLoaded());
    EXPECT_EQ(box->ledLevel(), 7);
    EXPECT_EQ(box->deviceLevel(), 7);
    EXPECT_TRUE(allShown(true));
    EXPECT_NE(BravikApi.BV_UvcReadEEPCont, nullptr);
    EXPECT_NE(BravikApi.BV_UvcWriteEEPCont, nullptr);

    // The controller reports level 3 at the next poll: that is the level left behind at quit.
    EXPECT_TRUE(box->poll());
    EXPECT_EQ(box->deviceLevel(), 3);
    newCalls();
    destroyBox();
    EXPECT_THAT(newCalls(), ElementsAre("WriteReg(3,0xdc,0x0,0x3)", "UVCRelease(holder,unit)",
                                        "UninitializeCOM", "unload"));
    for (auto& c : fake().calls)
        EXPECT_THAT(c, ::testing::Not(HasSubstr("EEPCont")));
}

TEST_F(Binding, NoCameraKeepsTheControlsHiddenUntilItArrives)
{
    fake().hasCamera = false;
    makeBox();
    EXPECT_EQ(box->unit(), nullptr);
    box->showControls();
    EXPECT_TRUE(allShown(false));
    EXPECT_FALSE(box->poll());
    box->stepLed(+1);
    box->toggleBoost();
    box->toggleLedSwitch();
    EXPECT_EQ(box->ledLevel(), 1);
    EXPECT_TRUE(box->boost());
    for (auto& c : newCalls())
        EXPECT_EQ(c.find("Reg("), std::string::npos) << c;

    // The scope's interface arrives: the next open finds it and shows the controls.
    fake().hasCamera = true;
    fake().script(0xDC, 0x00, {0x05});
    box->open();
    EXPECT_THAT(newCalls(), ElementsAre("UVCRelease(holder,null)", "UVCInitialize(0x510,0x5e3)",
                                        "ReadReg(3,0xdc,0x0)", "WriteReg(3,0xdc,0x0,0x5)"));
    EXPECT_NE(box->unit(), nullptr);
    EXPECT_TRUE(allShown(true));
    EXPECT_FALSE(box->boost());
    EXPECT_FALSE(box->ledSwitch());
    EXPECT_EQ(box->ledLevel(), 5);
}

TEST_F(Binding, AHolderWithoutAUnitIsStillReleasedAtQuit)
{
    fake().hasCamera = false;
    makeBox();
    newCalls();
    destroyBox();
    EXPECT_THAT(newCalls(), ElementsAre("UVCRelease(holder,null)", "UninitializeCOM", "unload"));
}

TEST_F(Binding, StatusFourThenThirtyFiveAdoptsFiveThenStepsToSix)
{
    fake().script(0xDC, 0x00, {0x00, 0x04, 0x35, 0x35, 0x35, 0x36});
    makeBox();
    newCalls();

    EXPECT_TRUE(box->poll());
    EXPECT_EQ(box->ledLevel(), 4);
    EXPECT_THAT(writes(), IsEmpty());

    EXPECT_TRUE(box->poll());
    EXPECT_EQ(box->ledLevel(), 6);
    EXPECT_TRUE(box->levelPending());
    EXPECT_THAT(writes(), ElementsAre("WriteReg(3,0xdc,0x46,0x0)"));

    EXPECT_TRUE(box->poll());
    EXPECT_EQ(box->ledLevel(), 6);
    EXPECT_THAT(writes(), IsEmpty());

    // The switch goes on at 6; when the controller then reports a new level the pending
    // command is answered: the status is written back and the switch shows off.
    box->toggleLedSwitch();
    EXPECT_THAT(writes(), ElementsAre("WriteReg(3,0xdc,0x66,0x0)"));
    EXPECT_TRUE(showsClick(COrvexIOControlBox::LedSwitch));
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(writes(), IsEmpty());
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(writes(), ElementsAre("WriteReg(3,0xdc,0x0,0x36)"));
    EXPECT_FALSE(box->levelPending());
    EXPECT_FALSE(box->ledSwitch());
    EXPECT_TRUE(showsRelease(COrvexIOControlBox::LedSwitch));
    EXPECT_EQ(box->ledLevel(), 6);
}

TEST_F(Binding, ALevelChangedAtTheCameraIsAdoptedWithoutWritingBack)
{
    fake().script(0xDC, 0x00, {0x08, 0x0B});
    makeBox();
    newCalls();
    EXPECT_TRUE(box->poll());
    EXPECT_EQ(box->ledLevel(), 11);
    EXPECT_THAT(writes(), IsEmpty());
}

TEST_F(Binding, PollReadsTubeThenStatusAndStopsEarlyForTheOnScreenButton)
{
    fake().script(0xDC, 0x00, {0x00});
    makeBox();
    newCalls();
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(newCalls(), ElementsAre("ReadReg(0,0x7a,0x0)", "ReadReg(3,0xdc,0x0)"));
    g_ButtonSource = 1;
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(newCalls(), ElementsAre("ReadReg(0,0x7a,0x0)"));
}

TEST_F(Binding, AFailedStatusReadCountsAsTubePresentLevelZeroNoButton)
{
    fake().script(0xDC, 0x00, {0x09});
    makeBox();
    fake().reads.clear(); // every read fails from here on
    EXPECT_TRUE(box->poll());
    EXPECT_EQ(box->ledLevel(), 0);
    EXPECT_EQ(box->buttonCode(), 0);
    EXPECT_FALSE(box->tubeAbsent());
}

TEST_F(Binding, CheckKelmoSwitchesTheBarsOnAndWaits30ms)
{
    fake().script(0x7A, 0x0000, {0x0000});
    makeBox();
    newCalls();
    clearLog();
    uint64_t before = clock->elapsed();
    EXPECT_TRUE(box->checkKelmo(false));
    EXPECT_EQ(clock->elapsed() - before, 30u);
    EXPECT_THAT(newCalls(), ElementsAre("ReadReg(0,0x7a,0x0)", "WriteReg(1,0x7a,0x8400,0x16)"));
    EXPECT_EQ(logText(), "IOControlBox checkKelmo() wData=0x0\n");

    before = clock->elapsed();
    EXPECT_TRUE(box->checkKelmo(true));
    EXPECT_EQ(clock->elapsed() - before, 30u);
    EXPECT_THAT(newCalls(), ElementsAre("WriteReg(1,0x7a,0x8400,0x2)"));

    // A read that fails leaves 0, which counts as a tube that answers.
    fake().reads.clear();
    EXPECT_TRUE(box->checkKelmo(false));
    EXPECT_THAT(writes(), ElementsAre("WriteReg(1,0x7a,0x8400,0x16)"));
}

TEST_F(Binding, CheckKelmoWithoutTubeWritesNothingAndDoesNotWait)
{
    fake().script(0x7A, 0x0000, {0xFFFF});
    makeBox();
    newCalls();
    clearLog();
    const uint64_t before = clock->elapsed();
    EXPECT_FALSE(box->checkKelmo(false));
    EXPECT_EQ(clock->elapsed(), before);
    EXPECT_THAT(newCalls(), ElementsAre("ReadReg(0,0x7a,0x0)"));
    EXPECT_EQ(logText(), "IOControlBox checkKelmo() wData=0xffff\n");
}

TEST_F(Binding, CheckKelmoWithoutUnitLogsNullAndTouchesNoRegister)
{
    fake().hasCamera = false;
    makeBox();
    newCalls();
    clearLog();
    EXPECT_FALSE(box->checkKelmo(false));
    EXPECT_EQ(logText(), "IOControlBox checkKelmo() m_pEEPXU=NULL\n");
    const uint64_t before = clock->elapsed();
    EXPECT_TRUE(box->checkKelmo(true));
    EXPECT_EQ(clock->elapsed() - before, 30u);
    EXPECT_THAT(newCalls(), IsEmpty());
}

TEST_F(Binding, NoLibraryBesideTheProgramMeansNoControlsAndNoCalls)
{
    TempDir empty;
    g_ProgramDir = empty.str();
    makeBox();
    EXPECT_FALSE(box->libraryLoaded());
    EXPECT_EQ(box->unit(), nullptr);
    EXPECT_TRUE(tableEmpty());
    box->showControls();
    EXPECT_TRUE(allShown(false));
    EXPECT_FALSE(box->poll());
    box->stepLed(+1);
    box->toggleBoost();
    box->open();
    box->close();
    EXPECT_FALSE(box->checkKelmo(false));
    destroyBox();
    EXPECT_THAT(fake().calls, IsEmpty());
    EXPECT_EQ(logText(), "IOControlBox checkKelmo() m_pEEPXU=NULL\n");
}

TEST_F(Binding, AFileThatIsNoLibraryIsLoggedAndIgnored)
{
    TempDir dir;
    dir.write("libBravik.so", "not a shared object");
    g_ProgramDir = dir.str();
    makeBox();
    EXPECT_FALSE(box->libraryLoaded());
    EXPECT_TRUE(tableEmpty());
    EXPECT_THAT(logText(), HasSubstr("IOControlBox load() "));
    EXPECT_THAT(logText(), HasSubstr("not loadable"));
}

TEST_F(Binding, AMissingWriteExportLeavesWritesUndoneButTheRestWorking)
{
    g_ProgramDir = fakeDir("no_write");
    fake().script(0xDC, 0x00, {0x04});
    makeBox();
    EXPECT_EQ(BravikApi.BV_UvcWriteReg, nullptr);
    EXPECT_THAT(logLines("IOControlBox load()"),
                ElementsAre("IOControlBox load() BV_UvcWriteReg missing"));
    ASSERT_NE(box->unit(), nullptr);
    EXPECT_EQ(box->ledLevel(), 4);
    box->stepLed(+1);
    box->toggleBoost();
    box->toggleLedSwitch();
    EXPECT_TRUE(box->checkKelmo(false));
    EXPECT_TRUE(box->poll());
    EXPECT_TRUE(box->boost());
    newCalls();
    destroyBox();
    EXPECT_THAT(newCalls(), ElementsAre("UVCRelease(holder,unit)", "UninitializeCOM", "unload"));
}

TEST_F(Binding, WithoutReleaseNoUnitIsEverCreated)
{
    g_ProgramDir = fakeDir("no_release");
    makeBox();
    box->open();
    EXPECT_EQ(box->unit(), nullptr);
    EXPECT_TRUE(allShown(false));
    destroyBox();
    EXPECT_THAT(newCalls(), ElementsAre("InitializeCOM(2)", "UninitializeCOM", "unload"));
}

TEST_F(Binding, AnyCodeAfterTheSnapshotButtonReleasesTheSnapshot)
{
    // Snapshot held, then LED up seen at the next poll without a 0 in between.
    fake().script(0xDC, 0x00, {0x05, 0x15, 0x36, 0x06});
    makeBox();
    newCalls();
    EXPECT_TRUE(box->poll());
    EXPECT_TRUE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, 2);
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(probe->sourceAtPress, ElementsAre(2, 2));
    EXPECT_FALSE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, 0);
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(probe->sourceAtPress, ElementsAre(2, 2));
}

TEST_F(Binding, ClosingWhileTheCameraHoldsASnapshotLetsThePictureGo)
{
    fake().script(0xDC, 0x00, {0x02, 0x12, 0x02});
    makeBox();
    EXPECT_TRUE(box->poll());
    ASSERT_TRUE(g_Freeze);
    box->close();
    EXPECT_EQ(box->unit(), nullptr);
    EXPECT_FALSE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, 0);
    EXPECT_TRUE(allShown(false));
    EXPECT_FALSE(box->poll());

    // Back again with no button held: no stray release.
    box->open();
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(probe->sourceAtPress, ElementsAre(2));
}

} // namespace
