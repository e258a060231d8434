// The raw USB descriptors a device offers, walked the way a host finds the register unit.
#include "rig_fixture.h"

using namespace simtest;

namespace
{

struct Walk {
    bool wellFormed = false;
    uint16_t vid = 0, pid = 0;
    int videoControl = 0;
    std::vector<std::vector<uint8_t>> extensionUnits;
};

Walk walk(const std::vector<uint8_t>& b)
{
    Walk w;
    if (b.size() < 18 + 9 || b[0] != 18 || b[1] != 1)
        return w;
    w.vid = static_cast<uint16_t>(b[8] | b[9] << 8);
    w.pid = static_cast<uint16_t>(b[10] | b[11] << 8);
    if (b[18 + 1] != 2 || static_cast<size_t>(b[18 + 2] | b[18 + 3] << 8) != b.size() - 18)
        return w;
    bool inVc = false;
    size_t i = 18;
    while (i < b.size()) {
        const size_t len = b[i];
        if (len < 2 || i + len > b.size())
            return w;
        const uint8_t type = b[i + 1];
        if (type == 4)
            inVc = len >= 9 && b[i + 5] == 0x0E && b[i + 6] == 0x01;
        if (type == 4 && inVc)
            ++w.videoControl;
        if (inVc && type == 0x24 && b[i + 2] == 0x06)
            w.extensionUnits.emplace_back(b.begin() + static_cast<long>(i),
                                          b.begin() + static_cast<long>(i + len));
        i += len;
    }
    w.wellFormed = i == b.size();
    return w;
}

std::vector<uint8_t> descriptors(int id)
{
    int n = scopesim_xu_descriptors(id, nullptr, 0);
    EXPECT_GT(n, 0);
    std::vector<uint8_t> b(static_cast<size_t>(std::max(n, 0)));
    EXPECT_EQ(scopesim_xu_descriptors(id, b.data(), n), n);
    return b;
}

} // namespace

class Descriptors : public RigTest
{
};

TEST_F(Descriptors, ScopeCarriesTheRegisterUnitWithItsGuid)
{
    start(scopesim::defaultScenario() + "em28xx \"E\"\n");
    Walk w = walk(descriptors(idOf(kScope)));
    ASSERT_TRUE(w.wellFormed);
    EXPECT_EQ(w.vid, 0x05E3);
    EXPECT_EQ(w.pid, 0x0510);
    EXPECT_EQ(w.videoControl, 1);
    ASSERT_EQ(w.extensionUnits.size(), 1u);
    const auto& xu = w.extensionUnits[0];
    const uint8_t guid[16] = {0x0B, 0x36, 0x5D, 0x5E, 0x5F, 0xE4, 0x81, 0x45,
                              0x9B, 0x0B, 0x37, 0x46, 0x69, 0xBA, 0x05, 0xD4};
    ASSERT_GE(xu.size(), 24u);
    EXPECT_EQ(xu[3], 4); // bUnitID: the unit the queries name
    EXPECT_TRUE(std::equal(guid, guid + 16, xu.begin() + 4));
    EXPECT_EQ(xu[20], 5); // bNumControls
    const size_t p = xu[21];
    const size_t n = xu[22 + p];
    ASSERT_EQ(xu.size(), 24 + p + n);
    EXPECT_EQ(xu[23 + p], 0x1F);

    // An absent control is missing from bmControls too.
    scopesim::setControlAbsent(kScope, 3, true);
    Walk w2 = walk(descriptors(idOf(kScope)));
    EXPECT_EQ(w2.extensionUnits.at(0)[23 + p], 0x1B);

    // Cameras without the bridge have a VideoControl but no register unit; EM28xx none.
    Walk cam = walk(descriptors(idOf("Integrated Camera")));
    EXPECT_TRUE(cam.wellFormed);
    EXPECT_EQ(cam.videoControl, 1);
    EXPECT_TRUE(cam.extensionUnits.empty());
    Walk em = walk(descriptors(idOf("E")));
    EXPECT_TRUE(em.wellFormed);
    EXPECT_EQ(em.videoControl, 0);
}

TEST_F(Descriptors, CopiesNoMoreThanAskedAndKnowsNoStrangers)
{
    start(scopesim::defaultScenario());
    const int id = idOf(kScope);
    std::vector<uint8_t> small(20, 0xAB);
    int full = scopesim_xu_descriptors(id, small.data(), 10);
    EXPECT_GT(full, 10);
    EXPECT_EQ(small[9], 0x05);  // idVendor high byte, the last one copied
    EXPECT_EQ(small[10], 0xAB); // untouched beyond cap
    EXPECT_EQ(scopesim_xu_descriptors(4242, small.data(), 20), -1);
    scopesim::plug(kScope, false);
    EXPECT_EQ(scopesim_xu_descriptors(id, small.data(), 20), -1);
}
