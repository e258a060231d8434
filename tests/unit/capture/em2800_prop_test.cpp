#include "capture/em2800_prop.h"

#include "support/log_capture.h"
#include "support/rig_session.h"

#include <gtest/gtest.h>

#include <map>

namespace
{

// Which rig device the requests went to.
int lastRequestDevice()
{
    auto log = scopesim::requestLog();
    return log.empty() ? 0 : log.back().deviceId;
}

int idOf(const std::string& name)
{
    auto v = scopesim::findVideoInput(name);
    return v ? v->id : -1;
}

// A bridge whose register window never stops being busy.
class StuckBridge : public platform::Em28xxProperties
{
public:
    int reads = 0, writes = 0;
    int32_t setProperty(uint32_t id, void* data) override
    {
        if (id == platform::kEmPropRegSelect)
            m_sel = static_cast<platform::Em28xxRegisterRequest*>(data)->selector >> 8;
        else if (id == platform::kEmPropRegData)
            ++writes;
        return 0;
    }
    int32_t getProperty(uint32_t id, void* data) override
    {
        if (id == platform::kEmPropRegData) {
            ++reads;
            *static_cast<uint8_t*>(data) = m_sel == 0x43 ? 0x01 : 0x00;
        }
        return 0;
    }

private:
    uint32_t m_sel = 0;
};

} // namespace

TEST(Em2800Prop, ConfiguredNameWinsOverTheDefault)
{
    RigSession rig(R"(em28xx "USB 2820 Video"
em28xx "USB 2861 Video"
registry "USB 2861 Video"
)");
    CEM2800Prop prop;
    std::string name;
    EXPECT_EQ(prop.GetTwainName(&name, nullptr), 1);
    EXPECT_EQ(name, "USB 2861 Video");
    ASSERT_NE(prop.Open(), nullptr);
    uint8_t v = 0;
    EXPECT_EQ(prop.ReadReg(0x09, 1, &v), 0);
    EXPECT_EQ(lastRequestDevice(), idOf("USB 2861 Video"));
}

TEST(Em2800Prop, DefaultNameByPrefixThenTheBridgeTable)
{
    {
        RigSession rig("camera \"Integrated Camera\"\nem28xx \"USB 2820 Video #2\"\n");
        CEM2800Prop prop;
        EXPECT_EQ(prop.GetTwainName(nullptr, nullptr), 0);
        ASSERT_NE(prop.Open(), nullptr);
        uint8_t v = 0;
        prop.ReadReg(0x09, 1, &v);
        EXPECT_EQ(lastRequestDevice(), idOf("USB 2820 Video #2"));
    }
    {
        RigSession rig("em28xx \"USB 2750 Camera\"\nem28xx \"USB 2701 Camera\"\n");
        CEM2800Prop prop;
        ASSERT_NE(prop.Open(), nullptr);
        uint8_t v = 0;
        prop.ReadReg(0x09, 1, &v);
        EXPECT_EQ(lastRequestDevice(), idOf("USB 2701 Camera")) << "table order, not device order";
    }
    {
        RigSession rig("camera \"Integrated Camera\"\n");
        CEM2800Prop prop;
        EXPECT_EQ(prop.Open(), nullptr);
        uint8_t v = 0;
        EXPECT_EQ(prop.ReadReg(0x09, 1, &v), CEM2800Prop::kNotOpen);
        EXPECT_FALSE(prop.CheckSnapButton());
    }
}

// No Windows name matches (a node named by its product string, as Linux names it): the
// driver's own name finds the bridge, and a named bridge still comes first.
TEST(Em2800Prop, DriverNameFindsTheBridgeWhenNoNameMatches)
{
    {
        RigSession rig("camera \"Integrated Camera\"\nem28xx \"Pellar Endoscope\"\n");
        CEM2800Prop prop;
        ASSERT_NE(prop.Open(), nullptr);
        uint8_t v = 0;
        EXPECT_EQ(prop.ReadReg(0x09, 1, &v), 0);
        EXPECT_EQ(lastRequestDevice(), idOf("Pellar Endoscope"));
    }
    {
        RigSession rig("em28xx \"Pellar Endoscope\"\nem28xx \"USB 2861 Video\"\n");
        CEM2800Prop prop;
        ASSERT_NE(prop.Open(), nullptr);
        uint8_t v = 0;
        prop.ReadReg(0x09, 1, &v);
        EXPECT_EQ(lastRequestDevice(), idOf("USB 2861 Video"));
    }
}

TEST(Em2800Prop, SnapshotLatchIsConsumed)
{
    RigSession rig("em28xx \"Pellar USB 2861 Video\"\nregistry \"Pellar USB 2861 Video\"\n");
    CEM2800Prop prop;
    ASSERT_NE(prop.Open(), nullptr);
    uint8_t v = 0x25;
    ASSERT_EQ(prop.WriteReg(0x0C, 1, &v), 0);
    EXPECT_TRUE(prop.CheckSnapButton());
    EXPECT_EQ(scopesim::em28xxRegister("Pellar USB 2861 Video", 0x0C), 0x05);
    EXPECT_FALSE(prop.CheckSnapButton());

    // The camera's own button latches the bit the same way.
    scopesim::pressButton("Pellar USB 2861 Video", scopesim::Button::Snapshot);
    EXPECT_TRUE(prop.CheckSnapButton());
    EXPECT_FALSE(prop.CheckSnapButton());
}

TEST(Em2800Prop, RecordButtonIsBitTwoOfGpioActiveLow)
{
    RigSession rig("em28xx \"Pellar USB 2861 Video\"\nregistry \"Pellar USB 2861 Video\"\n");
    CEM2800Prop prop;
    ASSERT_NE(prop.Open(), nullptr);
    uint8_t gpio = 0;
    ASSERT_EQ(prop.ReadGpio(&gpio), 0);
    EXPECT_TRUE(gpio & 0x04);
    scopesim::pressButton("Pellar USB 2861 Video", scopesim::Button::Record, 300);
    ASSERT_EQ(prop.ReadGpio(&gpio), 0);
    EXPECT_FALSE(gpio & 0x04);
    rig.clock->advance(400);
    ASSERT_EQ(prop.ReadGpio(&gpio), 0);
    EXPECT_TRUE(gpio & 0x04);
}

TEST(Em2800Prop, IndirectWritesAndI2c)
{
    RigSession rig("em28xx \"Pellar USB 2861 Video\"\nregistry \"Pellar USB 2861 Video\"\n");
    LogCapture log;
    EM2800PropHolder holder;
    holder.init();
    ASSERT_NE(holder.get(), nullptr);
    EXPECT_TRUE(log.has("Preview InitEM2800Prop() pCEM2800Prop(TRUE)"));
    EXPECT_TRUE(log.has("Preview InitEM2800Prop() pCEM2800Prop->SetI2C(0x20)"));
    EXPECT_EQ(scopesim::em28xxI2c("Pellar USB 2861 Video", 0xB8, 7), 0x20);

    const uint16_t a = 0x005F, b = 0x0000, c = 0x0F0F;
    EXPECT_EQ(holder.get()->WriteIndirect(14, &a), 0);
    EXPECT_EQ(holder.get()->WriteIndirect(26, &b), 0);
    EXPECT_EQ(holder.get()->WriteIndirect(28, &c), 0);
    EXPECT_EQ(scopesim::em28xxIndirect("Pellar USB 2861 Video", 14), 0x005F);
    EXPECT_EQ(scopesim::em28xxIndirect("Pellar USB 2861 Video", 28), 0x0F0F);

    holder.destroy();
    EXPECT_EQ(holder.get(), nullptr);
    EXPECT_TRUE(log.has("Preview DestroyEM2800Prop() pCEM2800Prop(TRUE)"));
    holder.destroy();
    EXPECT_TRUE(log.has("Preview DestroyEM2800Prop() pCEM2800Prop(FALSE)"));
}

TEST(Em2800Prop, NoBridgeLeavesNoInstance)
{
    RigSession rig("camera \"Integrated Camera\"\n");
    LogCapture log;
    EM2800PropHolder holder;
    holder.init();
    EXPECT_EQ(holder.get(), nullptr);
    EXPECT_TRUE(log.has("Preview InitEM2800Prop() pCEM2800Prop(TRUE)"));
}

TEST(Em2800Prop, BusyWindowGivesUpAfter2000Reads)
{
    auto bridge = std::make_unique<StuckBridge>();
    StuckBridge* b = bridge.get();
    CEM2800Prop prop(std::move(bridge));
    const uint16_t v = 0x1234;
    EXPECT_EQ(prop.WriteIndirect(14, &v), CEM2800Prop::kBusy);
    EXPECT_EQ(b->reads, 2000);
    EXPECT_EQ(b->writes, 0);
}
