// The box's use of the library, seen from a stand-in: the order of its calls from start to
// quit, exact status sequences, failed reads, and installs that are absent or damaged.
#include "box_fixture.h"
#include "fake_bravik_host.h"

#include "support/temp_dir.h"

using namespace devctltest;
using ::testing::HasSubstr;

namespace
{

class Binding : public BoxTest
{
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        fake() = fakebravik::Host();
        use("full");
        script(0x7A, 0x0000, {0x5A10});
    }
    static fakebravik::Host& fake() { return fakebravik::host(); }
    static void use(const char* variant)
    {
        g_ProgramDir = std::string(FAKE_BRAVIK_DIR) + "/" + variant;
    }
    static void script(int device, int address, std::initializer_list<uint16_t> values)
    {
        fake().reads[{device, address}] = values;
    }
    // Calls since the last look, optionally only those starting with prefix.
    std::vector<std::string> calls(const std::string& prefix = "")
    {
        std::vector<std::string> out;
        for (size_t i = m_seen; i < fake().calls.size(); ++i)
            if (fake().calls[i].rfind(prefix, 0) == 0)
                out.push_back(fake().calls[i]);
        m_seen = fake().calls.size();
        return out;
    }

private:
    size_t m_seen = 0;
};

TEST_F(Binding, StartAndQuitCallTheLibraryInOrder)
{
    script(0xDC, 0x00, {0x07, 0x03});
    makeBox();
    EXPECT_THAT(calls(), ElementsAre("InitializeCOM(2)", "UVCRelease(null,null)",
                                     "UVCInitialize(0x510,0x5e3)", "ReadReg(3,0xdc,0x0)",
                                     "WriteReg(3,0xdc,0x0,0x7)"));
    ASSERT_NE(box->unit(), nullptr);
    EXPECT_EQ(box->ledLevel(), 7);
    EXPECT_TRUE(allShown(true));
    EXPECT_NE(box->api().writeEeprom, nullptr);

    EXPECT_TRUE(box->poll()); // the controller now reports 3: that is what quit leaves
    calls();
    destroyBox();
    EXPECT_THAT(calls(), ElementsAre("WriteReg(3,0xdc,0x0,0x3)", "UVCRelease(holder,unit)",
                                     "UninitializeCOM", "unload"));
    for (auto& c : fake().calls)
        EXPECT_THAT(c, ::testing::Not(HasSubstr("EEPCont")));
}

TEST_F(Binding, WithoutCameraNothingIsShownOrReadAndTheHolderIsStillReleased)
{
    fake().hasCamera = false;
    makeBox();
    box->showControls();
    EXPECT_TRUE(allShown(false));
    EXPECT_FALSE(box->poll());
    box->stepLed(+1);
    box->toggleBoost();
    EXPECT_EQ(box->ledLevel(), 1);
    EXPECT_TRUE(box->boost());
    EXPECT_FALSE(box->checkKelmo(false));
    // A device found whose unit failed with the library's time-out is taken for a stalled
    // one: it is opened again about once a second.
    EXPECT_EQ(newLog(), "IOControlBox open() the extension unit does not answer\n"
                        "IOControlBox checkKelmo() m_pEEPXU=NULL\n");
    EXPECT_TRUE(box->unitSilent());
    EXPECT_THAT(calls("ReadReg"), IsEmpty());
    destroyBox();
    EXPECT_THAT(calls(), ElementsAre("UVCRelease(holder,null)", "UninitializeCOM", "unload"));
}

TEST_F(Binding, StatusFourThenThirtyFiveThenThirtyFive)
{
    script(0xDC, 0x00, {0x00, 0x04, 0x35, 0x35, 0x35, 0x36});
    makeBox();
    calls();
    EXPECT_TRUE(box->poll());
    EXPECT_EQ(box->ledLevel(), 4);
    EXPECT_TRUE(box->poll()); // 5 adopted, then LED up: 6 and its command
    EXPECT_EQ(box->ledLevel(), 6);
    EXPECT_THAT(calls("WriteReg"), ElementsAre("WriteReg(3,0xdc,0x46,0x0)"));
    EXPECT_TRUE(box->poll());
    EXPECT_EQ(box->ledLevel(), 6);
    EXPECT_THAT(calls("WriteReg"), IsEmpty());

    // A pending command is answered by the next change of level: status written back,
    // switch shown off.
    box->toggleLedSwitch();
    EXPECT_THAT(calls("WriteReg"), ElementsAre("WriteReg(3,0xdc,0x66,0x0)"));
    box->poll();
    box->poll();
    EXPECT_THAT(calls("WriteReg"), ElementsAre("WriteReg(3,0xdc,0x0,0x36)"));
    EXPECT_FALSE(box->levelPending());
    EXPECT_FALSE(box->ledSwitch());
    EXPECT_FALSE(showsClick(Box::LedSwitch));
}

// A failed read is a unit that did not answer, not a zero: the last answer holds (the level
// is not dropped, no button is seen, the colour bars are not asked for) until it answers.
TEST_F(Binding, FailedReadsKeepTheLastAnswer)
{
    script(0xDC, 0x00, {0x09});
    makeBox();
    fake().reads.clear();
    calls();
    EXPECT_TRUE(box->poll());
    EXPECT_EQ(box->ledLevel(), 9);
    EXPECT_TRUE(box->unitSilent());
    EXPECT_FALSE(box->checkKelmo(false));
    EXPECT_EQ(newLog(), "IOControlBox poll() the extension unit does not answer\n"
                        "IOControlBox checkKelmo() the extension unit does not answer\n");
    EXPECT_THAT(calls("WriteReg"), IsEmpty());
    EXPECT_THAT(calls("ReadReg"), IsEmpty()) << "nothing more is asked during the back-off";
}

TEST_F(Binding, AbsentOrDamagedLibraries)
{
    TempDir empty, junk;
    junk.write("libBravik.so", "not a shared object");
    for (const TempDir* dir : {&empty, &junk}) {
        g_ProgramDir = dir->str();
        makeBox();
        EXPECT_FALSE(box->libraryLoaded());
        box->showControls();
        EXPECT_TRUE(allShown(false));
        EXPECT_FALSE(box->poll());
        destroyBox();
    }
    EXPECT_THAT(fake().calls, IsEmpty());
    EXPECT_THAT(newLog(),
                HasSubstr("IOControlBox load() " + junk.str() + "/libBravik.so not loadable"));

    use("no_write");
    script(0xDC, 0x00, {0x04});
    makeBox();
    EXPECT_EQ(newLog(), "IOControlBox load() BV_UvcWriteReg missing\n");
    ASSERT_NE(box->unit(), nullptr);
    box->stepLed(+1);
    box->toggleBoost();
    EXPECT_TRUE(box->checkKelmo(false));
    EXPECT_TRUE(box->poll());
    EXPECT_EQ(box->ledLevel(), 5); // shown, though never sent
    calls();
    destroyBox();
    EXPECT_THAT(calls(), ElementsAre("UVCRelease(holder,unit)", "UninitializeCOM", "unload"));

    // A unit that could never be released is never made.
    use("no_release");
    makeBox();
    box->open();
    EXPECT_EQ(box->unit(), nullptr);
    destroyBox();
    EXPECT_THAT(calls(), ElementsAre("InitializeCOM(2)", "UninitializeCOM", "unload"));
}

TEST_F(Binding, ASnapshotHeldOnTheCameraIsAlwaysReleased)
{
    // Snapshot button, then LED up without a 0 between them: that is the release.
    script(0xDC, 0x00, {0x05, 0x15, 0x36, 0x06});
    makeBox();
    box->poll();
    EXPECT_TRUE(g_Freeze);
    box->poll();
    EXPECT_THAT(probe->sourceAtPress, ElementsAre(2, 2));
    EXPECT_FALSE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, 0);
    EXPECT_EQ(box->ledLevel(), 6); // adopted, not stepped
    box->poll();                   // LED up let go
    EXPECT_THAT(calls("WriteReg(3,0xdc,0x4"), IsEmpty());

    // Unplugged while held: the picture is let go, and the camera's return is no release.
    script(0xDC, 0x00, {0x12, 0x02});
    box->poll();
    ASSERT_TRUE(g_Freeze);
    box->close();
    EXPECT_FALSE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, 0);
    box->open();
    box->poll();
    EXPECT_THAT(probe->sourceAtPress, ElementsAre(2, 2, 2));
}

} // namespace
