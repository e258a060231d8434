// The box on a stand-in library: which controls show, and what the camera's snapshot button
// does to the tab. The unit's calls themselves are tested without a window.
#include "box_fixture.h"
#include "unit/devctl/fake_bravik_host.h"

#include "support/temp_dir.h"

using namespace devctltest;

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

// The controls show with an open unit only: not without a camera, a library or a working one.
TEST_F(Binding, ControlsShowOnlyWithAUnit)
{
    script(0xDC, 0x00, {0x07});
    makeBox();
    EXPECT_TRUE(allShown(true));
    box->close();
    EXPECT_TRUE(allShown(false));
    box->showControls();
    EXPECT_TRUE(allShown(false));
    destroyBox();

    fake().hasCamera = false;
    makeBox();
    box->showControls();
    EXPECT_TRUE(allShown(false));
    destroyBox();

    TempDir junk;
    junk.write("libBravik.so", "not a shared object");
    g_ProgramDir = junk.str();
    makeBox();
    box->showControls();
    EXPECT_TRUE(allShown(false));
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
