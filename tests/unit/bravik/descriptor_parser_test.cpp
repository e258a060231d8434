// Extension units out of USB descriptors: exact-size buffers, malformed ones, and the real
// cameras' dumps against the listing that comes with them.
#include "bravik/uvc/descriptor_parser.h"
#include "fake_uvc_device.h"
#include "testdata_listing.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <set>

using namespace bravik;
using namespace bravik::test;

namespace
{

// A heap copy of exactly the given bytes, so that a read past the end is caught.
UvcDescriptors parseExact(const std::vector<uint8_t>& bytes, size_t size)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
    std::copy(bytes.begin(), bytes.begin() + long(size), copy.get());
    return parseUvcDescriptors(copy.get(), size);
}

TEST(DescriptorParser, ReadsTheExtensionUnitFields)
{
    XuSpec a{5, XU_GUID_EEP, 5, {0x1F, 0x00}};
    XuSpec b{9, XU_GUID_SPI, 17, {0x00, 0x80, 0x01}};
    auto bytes = buildDescriptors(0x05E3, 0x0510, {a, b});
    auto d = parseExact(bytes, bytes.size());
    EXPECT_TRUE(d.ok()) << d.error;
    EXPECT_TRUE(d.hasVideoControl);
    ASSERT_EQ(d.units.size(), 2u);
    EXPECT_EQ(d.units[0].unitId, 5);
    EXPECT_EQ(d.units[0].guid, XU_GUID_EEP);
    EXPECT_EQ(d.units[0].numControls, 5);
    EXPECT_EQ(d.units[0].raw.size(), 27u);
    EXPECT_EQ(d.units[0].raw[3], 5);
    EXPECT_EQ(d.units[1].guid, XU_GUID_SPI);
    EXPECT_EQ(d.highestEntityId, 9);
    EXPECT_EQ(d.nodeCount(), 10u);
    EXPECT_EQ(d.find(9, XU_GUID_SPI), &d.units[1]);
    EXPECT_EQ(d.find(9, XU_GUID_EEP), nullptr);
    EXPECT_EQ(formatUnitLine(d.units[0]),
              "unit 5 {5E5D360B-E45F-4581-9B0B-374669BA05D4} controls 5 bmControls 0x1f");
    EXPECT_EQ(formatUnitLine(d.units[1]),
              "unit 9 {ECDADF03-8FE3-4D27-893B-A18D25AEEE09} controls 17 bmControls 0x18000");
}

TEST(DescriptorParser, EveryTruncationIsReportedWithoutReadingPastTheEnd)
{
    auto bytes = buildDescriptors(0x05E3, 0x0510, {XuSpec{}});
    std::set<size_t> boundaries; // a cut there leaves a shorter, well-formed file
    for (size_t at = 0; at < bytes.size(); at += bytes[at])
        boundaries.insert(at);
    for (size_t n = 1; n < bytes.size(); ++n) {
        auto d = parseExact(bytes, n);
        EXPECT_EQ(d.ok(), boundaries.count(n) == 1) << "prefix of " << n << " bytes";
        EXPECT_LE(d.units.size(), 1u);
    }
    EXPECT_TRUE(parseExact(bytes, 0).ok());
}

TEST(DescriptorParser, MalformedLengthsStopTheWalk)
{
    std::vector<uint8_t> zero = {18, 1, 0, 2, 0, 0, 0, 64, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0x24};
    auto d = parseExact(zero, zero.size());
    EXPECT_NE(d.error.find("bLength below 2"), std::string::npos) << d.error;

    auto bytes = buildDescriptors(1, 2, {XuSpec{}});
    // Shrink the extension unit's bLength below what its pin and control counts need.
    for (size_t i = 0; i + 2 < bytes.size(); ++i) {
        if (bytes[i + 1] == 0x24 && bytes[i + 2] == 0x06) {
            auto bad = bytes;
            bad[i + 21] = 200; // bNrInPins far beyond the descriptor
            auto r = parseExact(bad, bad.size());
            EXPECT_NE(r.error.find("short extension unit"), std::string::npos) << r.error;
            EXPECT_TRUE(r.units.empty());
            bad = bytes;
            bad[i + 23] = 40; // bControlSize beyond the descriptor
            EXPECT_FALSE(parseExact(bad, bad.size()).ok());
        }
    }
}

TEST(DescriptorParser, UnitsOutsideVideoControlAreIgnored)
{
    // An extension-unit-shaped descriptor inside a vendor interface.
    std::vector<uint8_t> bytes = {9, 4, 0, 0, 0, 0xFF, 0x01, 0, 0};
    std::vector<uint8_t> xu = {26, 0x24, 0x06, 4};
    xu.resize(26, 0);
    xu[21] = 1;
    xu[23] = 1;
    bytes.insert(bytes.end(), xu.begin(), xu.end());
    auto d = parseExact(bytes, bytes.size());
    EXPECT_TRUE(d.ok());
    EXPECT_FALSE(d.hasVideoControl);
    EXPECT_TRUE(d.units.empty());
    EXPECT_EQ(d.highestEntityId, -1);
}

TEST(DescriptorParser, ControlBitmapPrintsWithoutLeadingZeros)
{
    ExtensionUnitDescriptor u;
    u.unitId = 3;
    u.bmControls = {0x00, 0x00};
    EXPECT_EQ(formatUnitLine(u),
              "unit 3 {00000000-0000-0000-0000-000000000000} controls 0 bmControls 0x0");
    u.bmControls = {0x05, 0x0A, 0x00};
    EXPECT_NE(formatUnitLine(u).find("bmControls 0xa05"), std::string::npos);
}

TEST(DescriptorParser, RealCameraDumpsMatchTheirListing)
{
    auto listing = readTestdataListing();
    if (listing.empty())
        GTEST_SKIP() << "no camera descriptor dumps at " << testdataDir();
    for (const auto& [file, expected] : listing) {
        std::ifstream in(testdataDir() + "/" + file, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        ASSERT_FALSE(bytes.empty()) << file;
        auto d = parseExact(bytes, bytes.size());
        // One dump was captured a byte short: only a cut-off last descriptor may fail.
        if (!d.ok()) {
            EXPECT_NE(d.error.find("running past the end"), std::string::npos)
                << file << ": " << d.error;
        }
        std::vector<std::string> lines;
        for (const auto& u : d.units)
            lines.push_back(formatUnitLine(u));
        EXPECT_EQ(lines, expected) << file;
        for (const auto& u : d.units)
            EXPECT_LT(u.unitId, d.nodeCount());
    }
}

} // namespace
