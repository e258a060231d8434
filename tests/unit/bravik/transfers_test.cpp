// Register and EEPROM transfers: the bytes each control carries, checked against the
// requests the fake bridge received.
#include "bravik/core/hresult.h"
#include "bravik/core/transfers.h"
#include "unit_fixture.h"

#include <gmock/gmock.h>

#include <cerrno>

using namespace bravik;
using namespace bravik::test;
using ::testing::ElementsAreArray;

namespace
{

constexpr int A16D16 = 0, A16D8 = 1, A8D16 = 2, A8D8 = 3;

TEST(RegisterRead, A8D8FromButtonControllerStoresTheByteInTheLowHalf)
{
    OpenScope s;
    ASSERT_EQ(s.result, 0);
    ASSERT_NE(s.unit, nullptr);
    s.device->answer = [](uint8_t, uint8_t* d, uint16_t) {
        d[2] = 0x35;
        d[3] = 0x99; // not part of 8-bit data
    };
    uint16_t value = 0xBEEF;
    EXPECT_EQ(readRegister(*s.unit, A8D8, 0xDC, 0x00, &value), 0);
    EXPECT_EQ(value, 0x0035);
    auto t = s.device->transfers();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].query, kUvcSetCur);
    EXPECT_EQ(t[0].selector, 1);
    EXPECT_EQ(t[0].unit, 4);
    EXPECT_EQ(t[0].data[0], 2);
    EXPECT_EQ(t[0].data[1], 0xDC);
    EXPECT_EQ(t[0].data[2], 0x00);
    EXPECT_EQ(t[1].query, kUvcGetCur);
    EXPECT_EQ(t[1].selector, 3);
    EXPECT_EQ(t[1].size, 4);
}

TEST(RegisterRead, SixteenBitDataTakesByteThreeAsHighByte)
{
    OpenScope s;
    s.device->answer = [](uint8_t sel, uint8_t* d, uint16_t) {
        if (sel == 4) {
            d[2] = 0x10;
            d[3] = 0x5A;
        }
    };
    uint16_t value = 0;
    EXPECT_EQ(readRegister(*s.unit, A16D16, 0x7A, 0x0000, &value), 0);
    EXPECT_EQ(value, 0x5A10);
    auto t = s.device->transfers();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_THAT(t[0].data, ElementsAreArray(bytes({3, 0x7A, 0x00, 0x00})));
    EXPECT_EQ(t[1].selector, 4);
    EXPECT_EQ(t[1].data[0], 3);
    EXPECT_EQ(t[1].data[1], 0x7A);
}

TEST(RegisterRead, EightBitAddressModesCutTheAddressToItsLowByte)
{
    OpenScope s;
    uint16_t value = 0;
    EXPECT_EQ(readRegister(*s.unit, A8D16, 0x7A, 0x1234, &value), 0);
    auto t = s.device->transfers();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].selector, 1);
    EXPECT_EQ(t[0].data[0], 6);
    EXPECT_EQ(t[0].data[2], 0x34);
    EXPECT_EQ(t[0].data[3], 0x00) << "byte 3 of selector 1 is not part of an 8-bit address";
    EXPECT_EQ(t[1].selector, 4);
}

TEST(RegisterRead, FailedStagesStoreZeroAndStopAtTheFailure)
{
    OpenScope s;
    s.device->failCur[1] = EPIPE;
    uint16_t value = 0xFFFF;
    EXPECT_EQ(readRegister(*s.unit, A8D8, 0xDC, 0, &value), hresultFromError(EPIPE));
    EXPECT_EQ(value, 0);
    EXPECT_EQ(s.device->transfers().size(), 1u) << "no data stage after a failed address stage";

    s.device->failCur.clear();
    s.device->failCur[3] = EIO;
    s.device->clearLog();
    value = 0xFFFF;
    EXPECT_EQ(readRegister(*s.unit, A8D8, 0xDC, 0, &value), hresultFromError(EIO));
    EXPECT_EQ(value, 0);
    EXPECT_EQ(s.device->transfers().size(), 2u);
}

TEST(RegisterWrite, A16D8PausesTenMillisecondsAfterTheDataStage)
{
    OpenScope s;
    const uint16_t value = 0x16;
    EXPECT_EQ(writeRegister(*s.unit, A16D8, 0x7A, 0x8400, &value), 0);
    uint16_t readBack = 0;
    readRegister(*s.unit, A8D8, 0xDC, 0, &readBack);
    auto t = s.device->transfers();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].data[0], 7);
    EXPECT_EQ(t[1].selector, 3);
    EXPECT_GE(t[2].at - t[1].at, std::chrono::milliseconds(10));
}

TEST(RegisterWrite, FailedDataStageStillReportsItsResult)
{
    OpenScope s;
    s.device->failCur[4] = ERANGE;
    const uint16_t value = 1;
    EXPECT_EQ(writeRegister(*s.unit, A16D16, 0x7A, 0, &value), hresultFromError(ERANGE));
    EXPECT_EQ(s.device->transfers().size(), 2u);
}

TEST(RegisterTransfer, AbsentControlGivesOneAndSendsNothing)
{
    auto dev = std::make_shared<FakeUvcDevice>();
    dev->lengths.erase(3);
    OpenScope s(dev);
    ASSERT_NE(s.unit, nullptr);
    uint16_t value = 0x7777;
    EXPECT_EQ(readRegister(*s.unit, A8D8, 0xDC, 0, &value), 1);
    EXPECT_EQ(value, 0);
    const uint16_t v = 1;
    EXPECT_EQ(writeRegister(*s.unit, A16D8, 0x7A, 0x8400, &v), 1);
    EXPECT_TRUE(s.device->transfers().empty());
    EXPECT_EQ(readRegister(*s.unit, A16D16, 0x7A, 0, &value), 0) << "selectors 2 and 4 are there";
}

TEST(RegisterTransfer, ControlTooShortForItsLayoutCountsAsAbsent)
{
    auto dev = std::make_shared<FakeUvcDevice>();
    dev->lengths[2] = 2; // would need 4 bytes: command, device, address low and high
    OpenScope s(dev);
    ASSERT_NE(s.unit, nullptr);
    uint16_t value = 9;
    EXPECT_EQ(readRegister(*s.unit, A16D16, 0x7A, 0, &value), 1);
    EXPECT_EQ(value, 0);
    uint8_t block[16];
    EXPECT_EQ(readEepromBlock(*s.unit, 0, block), 1);
    EXPECT_TRUE(s.device->transfers().empty());
}

TEST(EepromRead, SendsAddressOnSelectorTwoAndCopiesTheBlock)
{
    OpenScope s;
    s.device->answer = [](uint8_t sel, uint8_t* d, uint16_t size) {
        if (sel == 5)
            for (int i = 2; i < size; ++i)
                d[i] = uint8_t(0x40 + i);
    };
    uint8_t out[16] = {};
    EXPECT_EQ(readEepromBlock(*s.unit, 0x0123, out), 0);
    auto t = s.device->transfers();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_THAT(t[0].data, ElementsAreArray(bytes({3, 0xA0, 0x23, 0x01})));
    EXPECT_EQ(t[1].selector, 5);
    EXPECT_EQ(t[1].data[0], 7);
    EXPECT_EQ(t[1].data[1], 0xA0);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(out[i], 0x42 + i);
}

TEST(EepromWrite, PreparesTheBridgeThenWritesTheBlockAtItsAddress)
{
    OpenScope s;
    s.device->answer = [](uint8_t sel, uint8_t* d, uint16_t) {
        if (sel == 3)
            d[2] = 0xFF; // both bridge registers read 0xFF
    };
    uint8_t data[16];
    for (int i = 0; i < 16; ++i)
        data[i] = uint8_t(i * 3);
    EXPECT_EQ(writeEepromBlock(*s.unit, 0x0123, data), 0);
    auto t = s.device->transfers();
    ASSERT_EQ(t.size(), 10u);
    // register 0x00 read and written back with bit 3 cleared
    EXPECT_THAT(t[0].data, ElementsAreArray(bytes({2, 0x00, 0x00, 0})));
    EXPECT_EQ(t[2].selector, 1);
    EXPECT_EQ(t[3].selector, 3);
    EXPECT_EQ(t[3].data[2], 0xF7);
    // register 0x06 read and written back with bit 3 set
    EXPECT_EQ(t[4].data[2], 0x06);
    EXPECT_EQ(t[7].data[2], 0xFF);
    EXPECT_THAT(t[8].data, ElementsAreArray(bytes({3, 0xA0, 0x23, 0x01})));
    EXPECT_EQ(t[9].selector, 5);
    std::vector<uint8_t> expected = {7, 0xA0};
    expected.insert(expected.end(), data, data + 16);
    EXPECT_THAT(t[9].data, ElementsAreArray(expected));
}

TEST(EepromWrite, FailedPreparationReadSkipsOnlyItsOwnWrite)
{
    OpenScope s;
    int reads = 0;
    s.device->answer = [&](uint8_t sel, uint8_t* d, uint16_t) {
        if (sel == 3)
            d[2] = 0x00;
        ++reads;
    };
    s.device->failCur[3] = EPIPE; // every 8-bit data read fails
    uint8_t data[16] = {};
    EXPECT_EQ(writeEepromBlock(*s.unit, 0x10, data), 0);
    auto t = s.device->transfers();
    // two failed reads (address + data each), then the block's two stages
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[4].selector, 2);
    EXPECT_EQ(t[5].selector, 5);
}

TEST(EepromWrite, PausesAfterTheBlock)
{
    OpenScope s;
    uint8_t data[16] = {};
    writeEepromBlock(*s.unit, 0, data);
    uint16_t v = 0;
    readRegister(*s.unit, A8D8, 0, 0, &v);
    auto t = s.device->transfers();
    ASSERT_EQ(t.size(), 12u);
    EXPECT_GE(t[10].at - t[9].at, std::chrono::milliseconds(10));
}

} // namespace
