// The tool's EEPROM commands in-process on the rig, with transfers that fail where a real
// camera can fail them: the camera ends as it was found, and the tool says what happened.
#include "scopesim/rig.h"
#include "tools/bravik_cli/commands.h"
#include "tools/bravik_cli/library_api.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace bravik::cli;
namespace fs = std::filesystem;

namespace
{

const std::string kScope = "USB Inspection Camera";
constexpr int kCheckAddress = 0x1F00;

// Which EEPROM block write fails, and whether it still reached the chip before failing (a
// time-out after the device took the data).
struct WriteFault {
    int failAt = -1;
    bool landsAnyway = false;
    int writes = 0;
    BV_UvcWriteEEPCont_fn real = nullptr;
};
WriteFault g_fault;

int faultyWrite(BVUnit* unit, int address, const uint8_t* data)
{
    const int n = g_fault.writes++;
    if (n != g_fault.failAt)
        return g_fault.real(unit, address, data);
    if (g_fault.landsAnyway)
        g_fault.real(unit, address, data);
    return BV_E_FAIL;
}

class CliOnRig : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(library.load(ORVEX_BINARY_DIR "/libBravik.so", &error)) << error;
        ASSERT_TRUE(scopesim::startDefault());
        api = library.api();
        g_fault = WriteFault{};
        g_fault.real = api.writeEeprom;
        api.writeEeprom = faultyWrite;
        api.initializeCom(2);
        m_oldDir = fs::current_path();
        fs::current_path(work.path()); // backups go to the working directory
    }
    void TearDown() override
    {
        fs::current_path(m_oldDir);
        api.uninitializeCom();
        scopesim::stop();
    }
    std::vector<uint8_t> block(int address)
    {
        auto e = scopesim::eeprom(kScope);
        return {e.begin() + address, e.begin() + address + BV_EEPROM_BLOCK};
    }
    std::pair<uint16_t, uint16_t> protection()
    {
        return {*scopesim::busRegister(kScope, 0x00, 0x00),
                *scopesim::busRegister(kScope, 0x00, 0x06)};
    }
    std::vector<fs::path> backups()
    {
        std::vector<fs::path> out;
        for (auto& e : fs::directory_iterator(work.path()))
            out.push_back(e.path());
        return out;
    }
    Options check(bool writeTest)
    {
        Options o;
        o.command = "check";
        o.writeTest = writeTest;
        return o;
    }

    BravikLibrary library;
    BravikApi api;
    TempDir work;
    fs::path m_oldDir;
};

TEST_F(CliOnRig, CheckOnlyReadsUnlessAskedToWrite)
{
    const auto before = block(kCheckAddress);
    const auto guard = protection();
    testing::internal::CaptureStdout();
    EXPECT_EQ(runCheck(check(false), api), kExitOk);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("nothing written"), std::string::npos) << out;
    EXPECT_EQ(g_fault.writes, 0);
    EXPECT_EQ(block(kCheckAddress), before);
    EXPECT_EQ(protection(), guard);
    EXPECT_TRUE(backups().empty());
}

TEST_F(CliOnRig, WriteTestSavesFirstAndPutsEverythingBack)
{
    const auto before = block(kCheckAddress);
    const auto guard = protection();
    testing::internal::CaptureStdout();
    EXPECT_EQ(runCheck(check(true), api), kExitOk);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("write and read back ok, restored ok"), std::string::npos) << out;
    EXPECT_NE(out.find("write protection restored"), std::string::npos) << out;
    EXPECT_EQ(g_fault.writes, 2); // the pattern, then the original
    EXPECT_EQ(block(kCheckAddress), before);
    EXPECT_EQ(protection(), guard);
    auto files = backups();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(readFile(files[0].string()), std::string(before.begin(), before.end()));
}

TEST_F(CliOnRig, WriteTestRestoresWhenThePatternWriteFails)
{
    // Both a write that never arrived and one that landed but reported a failure.
    for (bool lands : {false, true}) {
        SCOPED_TRACE(lands ? "landed" : "not landed");
        const auto before = block(kCheckAddress);
        const auto guard = protection();
        g_fault.writes = 0;
        g_fault.failAt = 0;
        g_fault.landsAnyway = lands;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(runCheck(check(true), api), kExitFailed);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("writing the test pattern failed: 0x80004005 (the request timed out"),
                  std::string::npos)
            << err;
        EXPECT_NE(out.find("write and read back FAILED, restored ok"), std::string::npos) << out;
        EXPECT_EQ(block(kCheckAddress), before);
        EXPECT_EQ(protection(), guard);
    }
}

TEST_F(CliOnRig, AFailedRestoreNamesTheBackup)
{
    const auto before = block(kCheckAddress);
    const auto guard = protection();
    g_fault.failAt = 1; // the restoring write
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(runCheck(check(true), api), kExitFailed);
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    auto files = backups();
    ASSERT_EQ(files.size(), 1u);
    const std::string name = files[0].filename().string();
    EXPECT_NE(err.find("restoring the EEPROM block failed"), std::string::npos) << err;
    EXPECT_NE(err.find("undo: bravik eeprom-write 0x1f00 " + name), std::string::npos) << err;
    EXPECT_NE(block(kCheckAddress), before); // the pattern is still there, as the message says
    EXPECT_EQ(protection(), guard);          // the protection goes back all the same
}

TEST_F(CliOnRig, EepromWritePutsTheWriteProtectionBack)
{
    const auto guard = protection();
    work.write("data.bin", "0123456789abcdefXYZ");
    Options o;
    o.command = "eeprom-write";
    o.args = {"0100", (work / "data.bin")};
    testing::internal::CaptureStdout();
    EXPECT_EQ(runEepromWrite(o, api), kExitOk);
    testing::internal::GetCapturedStdout();
    const auto written = block(0x100);
    EXPECT_EQ(std::string(written.begin(), written.end()), "0123456789abcdef");
    EXPECT_EQ(protection(), guard);

    // A block write that fails halfway still closes the protection again.
    g_fault.writes = 0;
    g_fault.failAt = 1;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(runEepromWrite(o, api), kExitFailed);
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("writing the EEPROM block at 0x0110 failed"), std::string::npos) << err;
    EXPECT_NE(err.find("the backup is bravik-eeprom-0100-"), std::string::npos) << err;
    EXPECT_EQ(protection(), guard);
}

// The tool needs every export: a damaged install is refused by name before anything is called.
TEST(CliLibrary, AnInstallLackingAnExportOrNotLoadingIsRefused)
{
    BravikLibrary library;
    std::string error;
    EXPECT_FALSE(loadWholeLibrary(library, FAKE_BRAVIK_DIR "/no_write/libBravik.so", &error));
    EXPECT_EQ(error, "libBravik.so lacks BV_UvcWriteReg");
    const std::string absent = FAKE_BRAVIK_DIR "/absent/libBravik.so";
    EXPECT_FALSE(loadWholeLibrary(library, absent, &error));
    EXPECT_EQ(error.rfind("cannot load " + absent + ": ", 0), 0u) << error;
    EXPECT_FALSE(library.loaded());
    EXPECT_TRUE(loadWholeLibrary(library, ORVEX_BINARY_DIR "/libBravik.so", &error)) << error;
}

} // namespace
