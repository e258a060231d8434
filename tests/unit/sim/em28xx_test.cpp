// The EM28xx camera as its driver's property interface shows it.
#include "rig_fixture.h"

using namespace simtest;
using scopesim::Em28xxI2cRequest;
using scopesim::Em28xxRegisterRequest;

namespace
{
const char* kEm = "Pellar USB 2861 Video";
}

class Em28xx : public RigTest
{
protected:
    void SetUp() override
    {
        RigTest::SetUp();
        start("camera \"Integrated Camera\"\nem28xx \"Pellar USB 2861 Video\"\n"
              "registry \"Pellar USB 2861 Video\"\n");
        id = idOf(kEm);
        ASSERT_TRUE(scopesim::isEm28xx(id));
    }
    int32_t readReg(uint8_t reg, uint8_t len, uint8_t* data)
    {
        Em28xxRegisterRequest rq{static_cast<uint32_t>(reg) << 8 | len, len, data};
        int32_t r = scopesim::em28xxSetProperty(id, 0x1005, &rq);
        return r ? r : scopesim::em28xxGetProperty(id, 0x1006, data);
    }
    int32_t writeReg(uint8_t reg, uint8_t len, uint8_t* data)
    {
        Em28xxRegisterRequest rq{static_cast<uint32_t>(reg) << 8 | len, len, data};
        int32_t r = scopesim::em28xxSetProperty(id, 0x1005, &rq);
        return r ? r : scopesim::em28xxSetProperty(id, 0x1006, data);
    }
    uint8_t reg(uint8_t r)
    {
        uint8_t v = 0xEE;
        EXPECT_EQ(readReg(r, 1, &v), 0);
        return v;
    }
    int id = 0;
};

TEST_F(Em28xx, SnapshotLatchHoldsUntilWrittenBack)
{
    EXPECT_EQ(reg(0x0C) & 0x20, 0);
    ASSERT_TRUE(scopesim::pressButton(kEm, scopesim::Button::Snapshot));
    uint8_t v = reg(0x0C);
    EXPECT_EQ(v & 0x20, 0x20);
    advance(5000);
    EXPECT_EQ(reg(0x0C) & 0x20, 0x20); // a latch, not a level
    uint8_t cleared = static_cast<uint8_t>(v & ~0x20);
    ASSERT_EQ(writeReg(0x0C, 1, &cleared), 0);
    EXPECT_EQ(reg(0x0C) & 0x20, 0);
}

TEST_F(Em28xx, RecordButtonPullsGpioBitTwoLowWhileHeld)
{
    EXPECT_EQ(reg(0x09) & 0x04, 0x04);
    ASSERT_TRUE(scopesim::command("button \"Pellar USB 2861 Video\" record 400"));
    EXPECT_EQ(reg(0x09) & 0x04, 0);
    advance(400);
    EXPECT_EQ(reg(0x09) & 0x04, 0x04);
    EXPECT_FALSE(scopesim::pressButton(kEm, scopesim::Button::LedUp));
}

TEST_F(Em28xx, IndirectWindowWritesAfterItsBusyBitClears)
{
    uint8_t value[2] = {0x5F, 0x00};
    ASSERT_EQ(writeReg(0x40, 2, value), 0);
    uint8_t index = 14;
    ASSERT_EQ(writeReg(0x42, 1, &index), 0);
    EXPECT_EQ(*scopesim::em28xxIndirect(kEm, 14), 0x005F);
    // Busy for a couple of polls; an index written meanwhile is ignored.
    EXPECT_EQ(reg(0x43) & 1, 1);
    uint8_t other = 26;
    ASSERT_EQ(writeReg(0x42, 1, &other), 0);
    EXPECT_EQ(*scopesim::em28xxIndirect(kEm, 26), 0);
    int polls = 1;
    while (reg(0x43) & 1)
        ASSERT_LT(++polls, 10);
    uint8_t v2[2] = {0x0F, 0x0F};
    writeReg(0x40, 2, v2);
    uint8_t i28 = 28;
    writeReg(0x42, 1, &i28);
    EXPECT_EQ(*scopesim::em28xxIndirect(kEm, 28), 0x0F0F);
}

TEST_F(Em28xx, I2cTransfersGoToTheSelectedDevice)
{
    uint8_t byte = 0x20;
    Em28xxI2cRequest rq{0x01000000u | 0xB8u << 16 | 7u << 8 | 1u, &byte, 1};
    ASSERT_EQ(scopesim::em28xxSetProperty(id, 0x1007, &rq), 0);
    ASSERT_EQ(scopesim::em28xxSetProperty(id, 0x1008, &byte), 0);
    EXPECT_EQ(*scopesim::em28xxI2c(kEm, 0xB8, 7), 0x20);
    // The same selection cannot be read back: it was made for a write.
    uint8_t back = 0;
    EXPECT_EQ(scopesim::em28xxGetProperty(id, 0x1008, &back), scopesim::kEmInvalidArg);
    rq.write = 0;
    ASSERT_EQ(scopesim::em28xxSetProperty(id, 0x1007, &rq), 0);
    ASSERT_EQ(scopesim::em28xxGetProperty(id, 0x1008, &back), 0);
    EXPECT_EQ(back, 0x20);
}

TEST_F(Em28xx, RequestsNeedASelectionAndAPluggedDevice)
{
    uint8_t v = 0;
    EXPECT_EQ(scopesim::em28xxGetProperty(id, 0x1006, &v), scopesim::kEmNotSelected);
    Em28xxRegisterRequest bad{0x0C01, 2, &v}; // length disagrees with the selector
    EXPECT_EQ(scopesim::em28xxSetProperty(id, 0x1005, &bad), scopesim::kEmInvalidArg);
    Em28xxRegisterRequest deselect{0, 0, nullptr};
    EXPECT_EQ(readReg(0x0C, 1, &v), 0);
    EXPECT_EQ(scopesim::em28xxSetProperty(id, 0x1005, &deselect), 0);
    EXPECT_EQ(scopesim::em28xxGetProperty(id, 0x1006, &v), scopesim::kEmNotSelected);
    uint32_t info = 0;
    EXPECT_EQ(scopesim::em28xxGetProperty(id, 0x1027, &info), 0);
    EXPECT_EQ(scopesim::em28xxGetProperty(id, 0x1028, &info), 0);
    EXPECT_EQ(scopesim::em28xxGetProperty(id, 0x1099, &info), scopesim::kEmInvalidArg);

    ASSERT_TRUE(scopesim::stall(kEm, 100));
    EXPECT_EQ(readReg(0x0C, 1, &v), scopesim::kEmTimeout);
    advance(100);
    EXPECT_EQ(readReg(0x0C, 1, &v), 0);
    scopesim::plug(kEm, false);
    EXPECT_EQ(readReg(0x0C, 1, &v), scopesim::kEmNotConnected);
    EXPECT_FALSE(scopesim::isEm28xx(idOf("Integrated Camera")));

    auto log = scopesim::requestLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().kind, scopesim::RequestKind::Em28xxSet);
    EXPECT_EQ(log.back().property, 0x1005u);
    EXPECT_EQ(log.back().result, scopesim::kEmNotConnected);
}

TEST_F(Em28xx, RegistryHoldsTheDriversConfiguredName)
{
    EXPECT_EQ(scopesim::registryValue("Software\\USB2800\\TwainDS", "RealDSName"), kEm);
    EXPECT_EQ(scopesim::registryValue("SOFTWARE\\usb2800\\twainds", "realdsname"), kEm);
    EXPECT_FALSE(scopesim::registryValue("Software\\USB2800\\TwainDS", "Other"));
    start(scopesim::defaultScenario());
    EXPECT_FALSE(scopesim::registryValue("Software\\USB2800\\TwainDS", "RealDSName"));
}
