// The bravik tool as a technician runs it: output, exit status and backup files.
#include "fake_uvc_device.h"
#include "testdata_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace bravik::test;
namespace fs = std::filesystem;

namespace
{

struct ToolRun {
    int status = -1;
    std::string out;
};

// Runs the tool in dir with its stderr dropped, stdout kept.
ToolRun tool(const std::string& args, const fs::path& dir = fs::temp_directory_path())
{
    const std::string command =
        "cd '" + dir.string() + "' && '" BRAVIK_CLI "' " + args + " 2>/dev/null";
    ToolRun r;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// The same run, its stderr kept and its stdout dropped.
std::string toolStderr(const std::string& args, const fs::path& dir = fs::temp_directory_path())
{
    return tool(args + " 2>&1 >/dev/null; true #", dir).out;
}

fs::path scratchDir()
{
    fs::path d = fs::temp_directory_path() /
                 ("bravik-cli-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

void writeFile(const fs::path& p, const std::vector<uint8_t>& bytes)
{
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

TEST(CliUnits, RealCameraDumpsPrintTheirListedUnits)
{
    auto listing = readTestdataListing();
    if (listing.empty())
        GTEST_SKIP() << "no camera descriptor dumps at " << testdataDir();
    for (const auto& [file, lines] : listing) {
        std::string expected;
        for (const auto& l : lines)
            expected += l + "\n";
        ToolRun r = tool("units '" + testdataDir() + "/" + file + "'");
        EXPECT_EQ(r.out, expected) << file;
    }
}

TEST(CliUnits, FilesWithoutVideoControlOrMalformedOnes)
{
    fs::path d = scratchDir();
    writeFile(d / "plain.bin",
              {18, 1, 0, 2, 0, 0, 0, 64, 0x34, 0x12, 0x78, 0x56, 0, 1, 0, 0, 0, 0});
    ToolRun r = tool("units plain.bin", d);
    EXPECT_EQ(r.status, 1) << "a device that is no camera";
    EXPECT_EQ(r.out, "");
    writeFile(d / "empty.bin", {});
    r = tool("units empty.bin", d);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");

    auto bytes = buildDescriptors(0x05E3, 0x0510, {XuSpec{}});
    writeFile(d / "scope.bin", bytes);
    r = tool("units scope.bin", d);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "unit 4 {5E5D360B-E45F-4581-9B0B-374669BA05D4} controls 5 bmControls 0x1f\n");

    bytes.resize(bytes.size() - 20); // cuts into the extension unit
    writeFile(d / "cut.bin", bytes);
    r = tool("units cut.bin", d);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(tool("units missing.bin", d).status, 0);
    fs::remove_all(d);
}

TEST(CliOptions, HelpAndBadCommandLines)
{
    ToolRun r = tool("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("eeprom-write ADDRESS FILE"), std::string::npos);
    EXPECT_EQ(tool("").status, 2);
    EXPECT_EQ(tool("frobnicate").status, 2);
    EXPECT_EQ(tool("--vid zz list").status, 2);
    EXPECT_EQ(tool("--simulate read A9D9 7A 0").status, 2);
    EXPECT_EQ(tool("--simulate write A8D8 DC 0 1FF").status, 2) << "8-bit mode, 9-bit value";
    EXPECT_EQ(tool("--simulate eeprom-read FFF0 20").status, 2);
    EXPECT_EQ(tool("--write-test list").status, 2) << "the option belongs to check";
}

TEST(CliOptions, EightBitAddressModesRefuseWideAddresses)
{
    // The library keeps only the low byte: 0x1265 would reach register 0x65.
    for (const char* line : {"--simulate write A8D8 dc 1265 0", "--simulate write a8d16 dc 100 0",
                             "--simulate read A8D8 dc 100", "--simulate read 2 dc 1ff"}) {
        const std::string err = toolStderr(line);
        EXPECT_EQ(tool(line).status, 2) << line;
        EXPECT_NE(err.find("carries 8-bit addresses"), std::string::npos) << err;
    }
    ToolRun r = tool("--simulate write A8D8 dc ff 0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "wrote 0x00 to device 0xdc register 0x00ff (A8D8)\n");
}

TEST(CliFiles, WhatIsNoFileEndsInOneLineAndExitOne)
{
    fs::path d = scratchDir();
    std::vector<uint8_t> big(2 * 1024 * 1024, 0x12);
    writeFile(d / "big.bin", big);
    ::mkfifo((d / "fifo").c_str(), 0600);
    struct Case {
        std::string args, message;
    };
    const std::string dir = d.string();
    for (const Case& c : std::vector<Case>{
             {"units " + dir, dir + ": is a folder, not a file"},
             {"units /dev/zero", "/dev/zero: is not a regular file"},
             {"units fifo", "fifo: is not a regular file"},
             {"units big.bin", "big.bin: is larger than 1 MiB"},
             {"eeprom-write 0 /dev/zero", "/dev/zero: is not a regular file"},
             {"--simulate eeprom-write 0 " + dir, dir + ": is a folder, not a file"},
             {"--simulate eeprom-write 0 big.bin", "big.bin: is larger than 64 KiB"},
             {"--simulate=" + dir,
              dir + ": cannot read the scenario file: is a folder, not a file"},
             {"--simulate=/dev/zero",
              "/dev/zero: cannot read the scenario file: is not a regular file"},
         }) {
        const std::string err = toolStderr(c.args, d);
        EXPECT_EQ(tool(c.args, d).status, 1) << c.args;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.args << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    fs::remove_all(d);
}

TEST(CliFiles, BinaryInAScenarioIsEscapedInTheMessage)
{
    fs::path d = scratchDir();
    writeFile(d / "bad.txt", {'c', 'a', 'm', 'e', 'r', 'a', ' ', 0x1b, '[', '2', 'J', 0x07, '\n'});
    const std::string err = toolStderr("--simulate=bad.txt", d);
    EXPECT_NE(err.find("bad.txt:1: 'camera' needs a quoted name, not '\\x1b[2J\\x07'"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find('\x1b'), std::string::npos);
    fs::remove_all(d);
}

TEST(CliSimulate, ChecksTheScopeWithoutACommandAndWritesOnlyWhenAsked)
{
    fs::path d = scratchDir();
    ToolRun r = tool("--simulate", d);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("tube sensor 0x7a register 0x0000 = 0x"), std::string::npos);
    EXPECT_EQ(r.out.find("0xffff"), std::string::npos);
    EXPECT_NE(r.out.find("nothing written"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::is_empty(d));
    r = tool("--simulate check --write-test", d);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("write and read back ok, restored ok"), std::string::npos);
    EXPECT_FALSE(fs::is_empty(d)) << "the block is saved to a backup file first";
    fs::remove_all(d);
}

TEST(CliSimulate, ListsDevicesAndReadsAndWritesRegisters)
{
    ToolRun r = tool("--simulate list");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("* 05e3:0510"), std::string::npos) << r.out;
    r = tool("--simulate read a16d16 0x7a 0000");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), 7u) << r.out; // "0xHHHH\n"
    EXPECT_NE(r.out, "0xffff\n");
    r = tool("--simulate write 1 7A 8400 16");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "wrote 0x16 to device 0x7a register 0x8400 (A16D8)\n");
    r = tool("--simulate --vid 1234 --pid 5678 read 0 7A 0");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
}

TEST(CliSimulate, EepromWriteSavesWhatItOverwritesFirst)
{
    fs::path d = scratchDir();
    ToolRun before = tool("--simulate eeprom-read 0100 20", d);
    ASSERT_EQ(before.status, 0);
    ASSERT_EQ(before.out.substr(0, 6), "0100: ");
    std::vector<uint8_t> data(20);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i + 1);
    writeFile(d / "data.bin", data);
    ToolRun r = tool("--simulate eeprom-write 0x100 data.bin", d);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("read back ok"), std::string::npos);
    std::vector<fs::path> backups;
    for (auto& e : fs::directory_iterator(d))
        if (e.path().filename().string().rfind("bravik-eeprom-0100-", 0) == 0)
            backups.push_back(e.path());
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_NE(r.out.find(backups[0].filename().string()), std::string::npos);
    // The backup holds two whole blocks, as the dump before showed them.
    std::ifstream in(backups[0], std::ios::binary);
    std::vector<uint8_t> saved((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(saved.size(), 32u);
    char first[8];
    std::snprintf(first, sizeof first, "%02x %02x", saved[0], saved[1]);
    EXPECT_EQ(before.out.substr(6, 5), first);
    fs::remove_all(d);
}

} // namespace
