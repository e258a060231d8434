// Property requests of one unit: their layout, the size-query rule and the two channels.
#include "bravik/core/extension_unit.h"
#include "bravik/core/hresult.h"
#include "diag_capture.h"
#include "scripted_filter.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace bravik;
using namespace bravik::test;

namespace
{

TEST(PropertyRequest, ReadAndWriteCarryGuidSelectorFlagsAndNode)
{
    for (bool handle : {true, false}) {
        ScriptedFilter filter(handle);
        IExtensionUnit unit(XU_GUID_EEP, 4);
        EXPECT_EQ(unit.Attach(&filter), handle ? 0 : int32_t(0x80004002));
        uint8_t buf[4] = {1, 2, 3, 4};
        unit.GetProperty(3, 4, buf);
        unit.SetProperty(5, 4, buf);
        auto seen = filter.control->seen();
        ASSERT_EQ(seen.size(), 2u);
        uint8_t raw[32];
        std::memcpy(raw, &seen[0].request, 32);
        const uint8_t expected[32] = {0x0B, 0x36, 0x5D, 0x5E, 0x5F, 0xE4, 0x81, 0x45,
                                      0x9B, 0x0B, 0x37, 0x46, 0x69, 0xBA, 0x05, 0xD4,
                                      3,    0,    0,    0,    0x01, 0,    0,    0x10,
                                      4,    0,    0,    0,    0,    0,    0,    0};
        EXPECT_EQ(std::memcmp(raw, expected, 32), 0) << "handle " << handle;
        EXPECT_EQ(seen[0].dataLength, 4u);
        EXPECT_EQ(seen[1].request.id, 5u);
        EXPECT_EQ(seen[1].request.flags, 0x10000002u);
    }
}

TEST(PropertyRequest, ReadAnswerReachesTheCallerThroughTheHandle)
{
    ScriptedFilter filter;
    filter.control->handler = [](const KSP_NODE&, uint8_t* d, uint32_t n, uint32_t* bytes) {
        for (uint32_t i = 0; i < n; ++i)
            d[i] = uint8_t(0xA0 + i);
        *bytes = n;
        return 0;
    };
    IExtensionUnit unit(XU_GUID_EEP, 1);
    unit.Attach(&filter);
    uint8_t buf[3] = {};
    EXPECT_EQ(unit.GetProperty(1, 3, buf), 0);
    EXPECT_EQ(buf[2], 0xA2);
}

TEST(SizeQuery, MoreDataResultGivesTheSize)
{
    ScriptedFilter filter;
    filter.control->handler = [](const KSP_NODE&, uint8_t*, uint32_t, uint32_t* bytes) {
        *bytes = 18;
        return kMoreData;
    };
    IExtensionUnit unit(XU_GUID_EEP, 1);
    unit.Attach(&filter);
    uint32_t size = 0;
    EXPECT_EQ(unit.GetPropertySize(5, &size), 0);
    EXPECT_EQ(size, 18u);
    auto seen = filter.control->seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].dataLength, 0u);
    EXPECT_FALSE(seen[0].withData);
    size = 0;
    EXPECT_EQ(unit.GetInfoSize(&size), 0);
    EXPECT_EQ(filter.control->seen()[1].request.id, 0u);
}

TEST(SizeQuery, SuccessInsteadOfMoreDataLeavesTheSizeUntouched)
{
    ScriptedFilter filter;
    filter.control->handler = [](const KSP_NODE&, uint8_t*, uint32_t, uint32_t* bytes) {
        *bytes = 18;
        return 0;
    };
    IExtensionUnit unit(XU_GUID_EEP, 1);
    unit.Attach(&filter);
    uint32_t size = 0;
    EXPECT_EQ(unit.GetPropertySize(2, &size), 0);
    EXPECT_EQ(size, 0u);
}

TEST(SizeQuery, FailureIsReturnedUnchangedAndNullSizeIsRefused)
{
    ScriptedFilter filter;
    filter.control->handler = [](const KSP_NODE&, uint8_t*, uint32_t, uint32_t* bytes) {
        *bytes = 4;
        return hresultFromError(2);
    };
    IExtensionUnit unit(XU_GUID_EEP, 1);
    unit.Attach(&filter);
    uint32_t size = 7;
    EXPECT_EQ(unit.GetPropertySize(2, &size), int32_t(0x80070002));
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(unit.GetPropertySize(2, nullptr), E_POINTER);
    EXPECT_EQ(unit.GetInfoSize(nullptr), E_POINTER);
    EXPECT_EQ(filter.control->seen().size(), 1u);
}

TEST(PropertyRequest, WithoutAnyChannelFailsAndAttachNeedsAFilter)
{
    ScriptedFilter filter(false);
    filter.offerControl = false;
    IExtensionUnit unit(XU_GUID_EEP, 1);
    EXPECT_EQ(unit.Attach(nullptr), E_POINTER);
    unit.Attach(&filter);
    uint8_t b[4];
    EXPECT_EQ(unit.GetProperty(1, 4, b), E_NOINTERFACE);
    EXPECT_EQ(unit.ReservedOperation(1, 2, 3, 4, 5, 6), 0);
}

TEST(PropertyRequest, HandleResultsArePrintedWithTheSystemCode)
{
    DiagCapture diag;
    ScriptedFilter filter;
    int call = 0;
    filter.control->handler = [&](const KSP_NODE&, uint8_t*, uint32_t, uint32_t*) {
        return call++ ? hresultFromError(32) : 0;
    };
    IExtensionUnit unit(XU_GUID_EEP, 1);
    unit.Attach(&filter);
    uint8_t b[4];
    unit.GetProperty(1, 4, b);
    unit.GetProperty(1, 4, b);
    EXPECT_EQ(diag.text(), "MyDevIoControl : devio ok\nMyDevIoControl : devio err=32 [80070020]\n");
}

} // namespace
