// The family scope down to the bytes of its extension unit and the devices behind it.
#include "rig_fixture.h"

#include <filesystem>
#include <fstream>

using namespace simtest;

namespace
{
constexpr int A16D16 = 0, A16D8 = 1, A8D16 = 2, A8D8 = 3;
}

class ScopeRegisters : public RigTest
{
protected:
    void SetUp() override
    {
        RigTest::SetUp();
        start(scopesim::defaultScenario());
        id = idOf(kScope);
        ASSERT_GT(id, 0);
    }
    uint16_t read(int mode, uint8_t dev, uint16_t addr)
    {
        uint16_t v = 0xDEAD;
        EXPECT_EQ(readReg(id, mode, dev, addr, v), 0);
        return v;
    }
    int id = 0;
};

TEST_F(ScopeRegisters, ControlsReportLengthAndInfoLikeABridge)
{
    const uint16_t lengths[] = {0, 4, 4, 4, 4, 18};
    for (uint8_t sel = 1; sel <= 5; ++sel) {
        std::vector<uint8_t> len(2), info(1);
        ASSERT_EQ(xu(id, sel, 0x85, len), 0);
        EXPECT_EQ(len[0] | len[1] << 8, lengths[sel]) << int(sel);
        ASSERT_EQ(xu(id, sel, 0x86, info), 0);
        EXPECT_EQ(info[0], 0x03);
    }
    std::vector<uint8_t> wrong(3);
    EXPECT_EQ(xu(id, 1, 0x85, wrong), ENOBUFS);
    EXPECT_EQ(xu(id, 5, 0x81, wrong), ENOBUFS); // GET_CUR needs the whole 18 bytes
    std::vector<uint8_t> two(2);
    EXPECT_EQ(scopesim_xu_query(id, 3, 1, 0x85, 2, two.data()), ENOENT); // not the unit
    EXPECT_EQ(xu(id, 6, 0x85, two), ENOENT);
    EXPECT_EQ(xu(id, 0, 0x85, two), ENOENT);
    EXPECT_EQ(xu(id, 1, 0x42, two), EINVAL);
    EXPECT_EQ(scopesim_xu_query(id, 4, 1, 0x85, 2, nullptr), EFAULT);
    // The webcam has no register unit at all.
    EXPECT_EQ(scopesim_xu_query(idOf("Integrated Camera"), 4, 1, 0x85, 2, two.data()), ENOENT);
    EXPECT_EQ(scopesim_xu_query(999, 4, 1, 0x85, 2, two.data()), ENODEV);
}

TEST_F(ScopeRegisters, TubeSensorAnswersWhileTheTubeIsIn)
{
    EXPECT_EQ(read(A16D16, 0x7A, 0x0000), 0x5A10);
    EXPECT_EQ(read(A16D8, 0x7A, 0x0000), 0x10);
    ASSERT_TRUE(scopesim::setTube(kScope, false));
    EXPECT_EQ(read(A16D16, 0x7A, 0x0000), 0xFFFF);
    EXPECT_EQ(read(A16D8, 0x7A, 0x8400), 0x00FF);
    // Writes to an absent sensor go nowhere.
    EXPECT_EQ(writeReg(id, A16D8, 0x7A, 0x8400, 0x16), 0);
    ASSERT_TRUE(scopesim::setTube(kScope, true));
    EXPECT_EQ(read(A16D16, 0x7A, 0x0000), 0x5A10);
    EXPECT_FALSE(scopesim::scopeState(kScope)->testPicture);
}

TEST_F(ScopeRegisters, PictureModeAndBoostAreTubeRegisters)
{
    EXPECT_EQ(writeReg(id, A16D8, 0x7A, 0x8400, 0x16), 0);
    EXPECT_TRUE(scopesim::scopeState(kScope)->testPicture);
    EXPECT_EQ(read(A16D8, 0x7A, 0x8400), 0x16);
    EXPECT_EQ(writeReg(id, A16D8, 0x7A, 0x8400, 0x02), 0);
    EXPECT_FALSE(scopesim::scopeState(kScope)->testPicture);

    EXPECT_EQ(writeReg(id, A16D16, 0x7A, 0xA070, 0x017A), 0);
    EXPECT_TRUE(scopesim::scopeState(kScope)->boost);
    EXPECT_EQ(read(A16D16, 0x7A, 0xA070), 0x017A);
    EXPECT_EQ(writeReg(id, A16D16, 0x7A, 0xA070, 0x002A), 0);
    EXPECT_FALSE(scopesim::scopeState(kScope)->boost);

    // Pulling the tube powers the sensor down: back in, it starts live and without boost.
    writeReg(id, A16D16, 0x7A, 0xA070, 0x017A);
    writeReg(id, A16D8, 0x7A, 0x8400, 0x16);
    scopesim::setTube(kScope, false);
    scopesim::setTube(kScope, true);
    EXPECT_FALSE(scopesim::scopeState(kScope)->boost);
    EXPECT_FALSE(scopesim::scopeState(kScope)->testPicture);
}

TEST_F(ScopeRegisters, LedControllerTakesCommandsInTheAddressByte)
{
    EXPECT_EQ(read(A8D8, 0xDC, 0x00), 0x08);                    // lit at power-up
    EXPECT_EQ(writeReg(id, A8D8, 0xDC, 0x40 | 0x20 | 7, 0), 0); // switch on, level 7
    auto st = scopesim::scopeState(kScope);
    EXPECT_EQ(st->ledLevel, 7);
    EXPECT_TRUE(st->ledSwitch);
    EXPECT_EQ(read(A8D8, 0xDC, 0x00), 0x07);
    EXPECT_EQ(writeReg(id, A8D8, 0xDC, 0x47, 0), 0);
    EXPECT_FALSE(scopesim::scopeState(kScope)->ledSwitch);
    // A written-back status is accepted; its level bits stand.
    EXPECT_EQ(writeReg(id, A8D8, 0xDC, 0x00, 0x35), 0);
    EXPECT_EQ(read(A8D8, 0xDC, 0x00), 0x05);
    EXPECT_EQ(read(A8D16, 0xDC, 0x00), 0x05);
}

TEST_F(ScopeRegisters, CameraButtonsShowInTheStatusWhileHeld)
{
    writeReg(id, A8D8, 0xDC, 0x44, 0);
    ASSERT_TRUE(scopesim::pressButton(kScope, scopesim::Button::Snapshot, 300));
    EXPECT_EQ(read(A8D8, 0xDC, 0x00), 0x14);
    advance(299);
    EXPECT_EQ(read(A8D8, 0xDC, 0x00), 0x14);
    advance(1);
    EXPECT_EQ(read(A8D8, 0xDC, 0x00), 0x04);

    // The LED buttons also step the controller's own level (clamped at 15 and 0).
    ASSERT_TRUE(scopesim::pressButton(kScope, scopesim::Button::LedUp, 100));
    EXPECT_EQ(read(A8D8, 0xDC, 0x00), 0x35);
    advance(100);
    ASSERT_TRUE(scopesim::command("button \"USB Inspection Camera\" record 50"));
    EXPECT_EQ(read(A8D8, 0xDC, 0x00), 0x25);
    writeReg(id, A8D8, 0xDC, 0x4F, 0);
    scopesim::pressButton(kScope, scopesim::Button::LedUp, 10);
    EXPECT_EQ(scopesim::scopeState(kScope)->ledLevel, 15);
    writeReg(id, A8D8, 0xDC, 0x40, 0);
    scopesim::pressButton(kScope, scopesim::Button::LedDown, 10);
    EXPECT_EQ(read(A8D8, 0xDC, 0x00), 0x40);
}

TEST_F(ScopeRegisters, BridgeRegistersAnswerInEveryMode)
{
    EXPECT_EQ(read(A8D8, 0x00, 0x00), 0x48);
    EXPECT_EQ(writeReg(id, A8D8, 0x00, 0x21, 0x1234), 0);
    EXPECT_EQ(read(A8D8, 0x00, 0x21), 0x34); // 8-bit data: only the low byte
    EXPECT_EQ(*scopesim::busRegister(kScope, 0x00, 0x21), 0x34);
    // Nobody at this address: the bus reads all ones.
    EXPECT_EQ(read(A16D16, 0x42, 0x0010), 0xFFFF);
}

TEST_F(ScopeRegisters, EepromBlocksNeedTheBridgePreparationToBeWritten)
{
    std::vector<uint8_t> block(16);
    for (int i = 0; i < 16; ++i)
        block[i] = static_cast<uint8_t>(0xA0 + i);
    auto writeBlock = [&](uint16_t addr) {
        std::vector<uint8_t> data{7, 0xA0};
        data.insert(data.end(), block.begin(), block.end());
        ASSERT_EQ(
            set(id, 2, {3, 0xA0, static_cast<uint8_t>(addr), static_cast<uint8_t>(addr >> 8)}), 0);
        ASSERT_EQ(set(id, 5, data), 0);
    };
    auto readBlock = [&](uint16_t addr) {
        EXPECT_EQ(
            set(id, 2, {3, 0xA0, static_cast<uint8_t>(addr), static_cast<uint8_t>(addr >> 8)}), 0);
        int r = -1;
        auto d = get(id, 5, 18, &r);
        EXPECT_EQ(r, 0);
        EXPECT_EQ(d[0], 7);
        EXPECT_EQ(d[1], 0xA0);
        return std::vector<uint8_t>(d.begin() + 2, d.end());
    };

    // Fresh from the factory it reads erased and is write-protected.
    EXPECT_EQ(readBlock(0x0123), std::vector<uint8_t>(16, 0xFF));
    writeBlock(0x0123);
    EXPECT_EQ(readBlock(0x0123), std::vector<uint8_t>(16, 0xFF));

    // Clear bit 3 of bridge register 0x00, set bit 3 of 0x06: writes land.
    writeReg(id, A8D8, 0x00, 0x00, read(A8D8, 0x00, 0x00) & 0xF7);
    writeReg(id, A8D8, 0x00, 0x06, read(A8D8, 0x00, 0x06) | 0x08);
    writeBlock(0x0123);
    EXPECT_EQ(readBlock(0x0123), block);
    EXPECT_EQ(read(A16D8, 0xA0, 0x0124), 0xA1);
    auto whole = scopesim::eeprom(kScope);
    ASSERT_GE(whole.size(), 8192u);
    EXPECT_EQ(whole[0x0123], 0xA0);
    EXPECT_EQ(whole[0x0132], 0xAF);
    EXPECT_EQ(whole[0x0133], 0xFF);
}

TEST_F(ScopeRegisters, MalformedMailboxStagesStallTheControl)
{
    EXPECT_EQ(set(id, 1, {3, 0x7A, 0, 0}), EPIPE); // 16-bit command on the 8-bit stage
    EXPECT_EQ(set(id, 2, {2, 0x7A, 0, 0}), EPIPE);
    ASSERT_EQ(set(id, 2, {7, 0x7A, 0x00, 0x84}), 0);
    EXPECT_EQ(set(id, 4, {7, 0x7A, 0x16, 0}), EPIPE); // 8-bit transfer, 16-bit data stage
    EXPECT_EQ(set(id, 3, {7, 0xDC, 0x16, 0}), EPIPE); // another device than latched
    EXPECT_EQ(set(id, 3, {2, 0x7A, 0x16, 0}), EPIPE); // another command than latched
    int r = 0;
    get(id, 5, 18, &r);
    EXPECT_EQ(r, EPIPE);
    EXPECT_FALSE(scopesim::scopeState(kScope)->testPicture);
}

TEST_F(ScopeRegisters, RequestLogHoldsEveryRequestWithItsBytes)
{
    scopesim::clearRequestLog();
    ASSERT_EQ(writeReg(id, A16D16, 0x7A, 0xA070, 0x1234), 0);
    uint16_t v;
    readReg(id, A8D8, 0xDC, 0x00, v);
    std::vector<uint8_t> two(2);
    xu(id, 9, 0x85, two);

    auto log = scopesim::requestLog();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].selector, 2);
    EXPECT_EQ(log[0].query, 0x01);
    EXPECT_EQ(log[0].data, (std::vector<uint8_t>{3, 0x7A, 0x70, 0xA0}));
    EXPECT_EQ(log[1].selector, 4);
    EXPECT_EQ(log[1].data, (std::vector<uint8_t>{3, 0x7A, 0x34, 0x12}));
    EXPECT_EQ(log[2].data, (std::vector<uint8_t>{2, 0xDC, 0x00, 0x00}));
    EXPECT_EQ(log[3].query, 0x81);
    EXPECT_EQ(log[3].selector, 3);
    EXPECT_EQ(log[3].data, (std::vector<uint8_t>{2, 0xDC, 0x08, 0x00}));
    EXPECT_EQ(log[4].result, ENOENT);
    EXPECT_EQ(log[4].unit, 4);
    for (const auto& rq : log) {
        EXPECT_EQ(rq.deviceId, id);
        EXPECT_EQ(rq.kind, scopesim::RequestKind::Xu);
    }

    auto bus = scopesim::busLog();
    ASSERT_EQ(bus.size(), 2u);
    EXPECT_TRUE(bus[0].write);
    EXPECT_EQ(bus[0].device, 0x7A);
    EXPECT_EQ(bus[0].address, 0xA070);
    EXPECT_EQ(bus[0].value, 0x1234);
    EXPECT_FALSE(bus[1].write);
    EXPECT_EQ(bus[1].device, 0xDC);
}

// A scope polled for hours keeps only its recent history: the logs stop growing.
TEST_F(ScopeRegisters, LogsKeepTheRecentPastOnly)
{
    scopesim::clearRequestLog();
    const size_t limit = scopesim::kRecentLogEntries;
    uint16_t v = 0;
    for (uint16_t i = 0; i < 3 * limit / 2; ++i) // two requests and one bus transfer each
        ASSERT_EQ(writeReg(id, A16D16, 0x7A, 0xA070, i), 0);
    ASSERT_EQ(readReg(id, A8D8, 0xDC, 0x00, v), 0);
    auto log = scopesim::requestLog();
    auto bus = scopesim::busLog();
    EXPECT_GE(log.size(), limit);
    EXPECT_LT(log.size(), 2 * limit);
    EXPECT_GE(bus.size(), limit);
    EXPECT_LT(bus.size(), 2 * limit);
    EXPECT_EQ(log.back().query, 0x81) << "the newest stays, the oldest went";
    EXPECT_FALSE(bus.back().write);
    EXPECT_EQ(bus[bus.size() - 2].value, 3 * limit / 2 - 1);
}

TEST_F(ScopeRegisters, AbsentControlsVanishFromTheUnit)
{
    ASSERT_TRUE(scopesim::setControlAbsent(kScope, 5, true));
    std::vector<uint8_t> two(2);
    EXPECT_EQ(xu(id, 5, 0x85, two), ENOENT);
    EXPECT_EQ(xu(id, 4, 0x85, two), 0);
    ASSERT_TRUE(scopesim::setControlAbsent(kScope, 5, false));
    EXPECT_EQ(xu(id, 5, 0x85, two), 0);
}

TEST(ScopeEeprom, LoadsItsContentsFromAFile)
{
    auto dir = std::filesystem::temp_directory_path() / "scopesim_eeprom_test";
    std::filesystem::create_directories(dir);
    {
        std::ofstream f(dir / "e.bin", std::ios::binary);
        for (int i = 0; i < 300; ++i)
            f.put(static_cast<char>(i & 0xFF));
        std::ofstream s(dir / "s.txt");
        s << "scope \"S\" eeprom e.bin\n";
        std::ofstream bad(dir / "bad.txt");
        bad << "# missing file\nscope \"S\" eeprom nothing.bin\n";
    }
    std::string error;
    ASSERT_TRUE(scopesim::startFile((dir / "s.txt").string(), &error)) << error;
    auto e = scopesim::eeprom("S");
    ASSERT_EQ(e.size(), 8192u);
    EXPECT_EQ(e[0x12C - 1], 0x2B);
    EXPECT_EQ(e[299], 43);
    EXPECT_EQ(e[300], 0xFF);

    EXPECT_FALSE(scopesim::startFile((dir / "bad.txt").string(), &error));
    EXPECT_EQ(error, (dir / "bad.txt").string() + ":2: cannot read eeprom file '" +
                         (dir / "nothing.bin").string() + "': No such file or directory");
    EXPECT_FALSE(scopesim::running());
    std::filesystem::remove_all(dir);
}
