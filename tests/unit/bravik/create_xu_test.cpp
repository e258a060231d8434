// Node search, the control table and the creation rules of the extension-unit object.
#include "bravik/core/create_xu.h"
#include "bravik/core/hresult.h"
#include "diag_capture.h"
#include "scripted_filter.h"

#include <gtest/gtest.h>

#include <map>

using namespace bravik;
using namespace bravik::test;

namespace
{

// A filter with the family unit at one node, its controls of the given sizes.
struct UnitAt {
    explicit UnitAt(uint32_t node,
                    std::map<uint32_t, uint32_t> sizes = {{1, 4}, {2, 4}, {3, 4}, {4, 4}, {5, 18}},
                    uint32_t infoSize = 26)
    {
        filter.control->handler = [=](const KSP_NODE& r, uint8_t*, uint32_t n, uint32_t* bytes) {
            if (r.nodeId != node)
                return hresultFromError(2);
            if (n == 0) {
                if (r.id == 0) {
                    *bytes = infoSize;
                    return kMoreData;
                }
                auto it = sizes.find(r.id);
                if (it == sizes.end())
                    return hresultFromError(2);
                *bytes = it->second;
                return kMoreData;
            }
            return 0;
        };
    }
    ScriptedFilter filter;
};

TEST(DetectNodeId, WithoutTopologySearchesNodesZeroToFifteen)
{
    ScriptedFilter filter;
    filter.control->handler = [](const KSP_NODE&, uint8_t*, uint32_t, uint32_t*) {
        return hresultFromError(2);
    };
    EXPECT_EQ(DetectNodeId(&filter), kNoNodeAnswered);
    auto seen = filter.control->seen();
    ASSERT_EQ(seen.size(), 16u);
    for (uint32_t i = 0; i < 16; ++i) {
        EXPECT_EQ(seen[i].request.nodeId, i);
        EXPECT_EQ(seen[i].request.id, 0u);
    }
}

TEST(DetectNodeId, TopologyBoundsTheSearch)
{
    ScriptedFilter filter;
    filter.topologyNodes = 3;
    filter.control->handler = [](const KSP_NODE&, uint8_t*, uint32_t, uint32_t*) {
        return hresultFromError(2);
    };
    EXPECT_EQ(DetectNodeId(&filter), kNoNodeAnswered);
    EXPECT_EQ(filter.control->seen().size(), 3u);
    EXPECT_EQ(DetectNodeId(nullptr), kNoFilterNode);
}

TEST(DetectNodeId, FirstAnsweringNodeWinsAndItsInformationIsRead)
{
    UnitAt u(6, {}, 40);
    u.filter.topologyNodes = 9;
    EXPECT_EQ(DetectNodeId(&u.filter), 6);
    auto seen = u.filter.control->seen();
    ASSERT_EQ(seen.size(), 8u); // nodes 0..6 sized, then node 6 read
    EXPECT_EQ(seen[7].request.nodeId, 6u);
    EXPECT_EQ(seen[7].dataLength, 1024u);
}

TEST(DetectNodeId, LargeInformationGetsABufferOfItsSize)
{
    UnitAt u(2, {}, 3000);
    EXPECT_EQ(DetectNodeId(&u.filter), 2);
    auto seen = u.filter.control->seen();
    EXPECT_EQ(seen.back().dataLength, 3000u);
}

TEST(CreateXU, DetectedNodeAndControlSizesFillTheTable)
{
    DiagCapture diag;
    UnitAt u(4);
    u.filter.topologyNodes = 8;
    CUVCXU* xu = nullptr;
    EXPECT_EQ(CreateXU(&u.filter, &xu), 0);
    ASSERT_NE(xu, nullptr);
    EXPECT_NE(dynamic_cast<BVEEPXU*>(xu), nullptr);
    EXPECT_EQ(xu->m_nodeId, 4);
    EXPECT_EQ(xu->m_guid, XU_GUID_EEP);
    for (int s = 1; s <= 5; ++s)
        EXPECT_TRUE(xu->present(s)) << s;
    EXPECT_EQ(xu->m_table[5].size, 18u);
    EXPECT_FALSE(xu->present(6));
    EXPECT_EQ(xu->m_table[7].id, 7u);
    delete xu;
    const std::string text = diag.text();
    EXPECT_NE(text.find("CreateXU : DetectNodeId = 4\n"), std::string::npos);
    EXPECT_NE(text.find("prop GUID {5E5D360B E45F 4581...}\n"), std::string::npos);
    EXPECT_NE(text.find(" prop 05: size 18\n"), std::string::npos);
    EXPECT_NE(text.find(" prop 06: size 0 [80070002]\n"), std::string::npos);
    EXPECT_NE(text.find("InitPropertySize OK!"), std::string::npos);
}

TEST(CreateXU, NoAnsweringNodeFallsBackToNodeOneWhereSelectorOneDecides)
{
    // Nothing answers the information query, but node 1 sizes its controls.
    UnitAt u(1, {{1, 4}, {3, 4}}, 0);
    auto inner = u.filter.control->handler;
    u.filter.control->handler = [inner](const KSP_NODE& r, uint8_t* d, uint32_t n, uint32_t* b) {
        return r.id == 0 ? hresultFromError(2) : inner(r, d, n, b);
    };
    CUVCXU* xu = nullptr;
    EXPECT_EQ(CreateXU(&u.filter, &xu), 0);
    ASSERT_NE(xu, nullptr);
    EXPECT_EQ(xu->m_nodeId, 1);
    EXPECT_TRUE(xu->present(1));
    EXPECT_FALSE(xu->present(2));
    delete xu;
}

TEST(CreateXU, SelectorOneFailureOnNodeOneIsFatal)
{
    DiagCapture diag;
    ScriptedFilter filter;
    filter.control->handler = [](const KSP_NODE&, uint8_t*, uint32_t, uint32_t*) {
        return int32_t(0x80070492);
    };
    CUVCXU* xu = reinterpret_cast<CUVCXU*>(0x1); // must stay unwritten
    EXPECT_EQ(CreateXU(&filter, &xu), int32_t(0x80070492));
    EXPECT_EQ(xu, reinterpret_cast<CUVCXU*>(0x1));
    EXPECT_TRUE(diag.contains("0x80070492 -- Node ID failed\n0x80070490 -- Prop ID failed\n"
                              "0x80070015 -- Delay time issue\n"));
    EXPECT_TRUE(diag.contains(" prop 01: size 0 [80070492]\n"));
    EXPECT_FALSE(diag.contains("InitPropertySize OK!"));
}

TEST(CreateXU, SelectorOneFailureOnAnotherNodeOnlyLeavesItAbsent)
{
    UnitAt u(3, {{2, 4}, {4, 4}});
    CUVCXU* xu = nullptr;
    EXPECT_EQ(CreateXU(&u.filter, &xu), 0);
    ASSERT_NE(xu, nullptr);
    EXPECT_FALSE(xu->present(1));
    EXPECT_TRUE(xu->present(2));
    delete xu;
}

TEST(CreateXU, ControlsAboveKilobyteGetNoBuffer)
{
    UnitAt u(2, {{1, 4}, {2, 1024}, {3, 1025}});
    CUVCXU* xu = nullptr;
    EXPECT_EQ(CreateXU(&u.filter, &xu), 0);
    ASSERT_NE(xu, nullptr);
    EXPECT_TRUE(xu->present(2));
    EXPECT_FALSE(xu->present(3));
    EXPECT_EQ(xu->m_table[3].size, 1025u);
    delete xu;
}

int g_allocations = 0;
uint8_t* failThirdAllocation(uint32_t size)
{
    return ++g_allocations == 3 ? nullptr : allocateControlBuffer(size);
}

TEST(CreateXU, BufferAllocationFailureStillHandsOutTheUnit)
{
    g_allocations = 0;
    UnitAt u(2);
    CUVCXU* xu = nullptr;
    EXPECT_EQ(CreateXU(&u.filter, &xu, kConfiguredXuGuid, failThirdAllocation), 1450);
    ASSERT_NE(xu, nullptr);
    EXPECT_TRUE(xu->present(1));
    EXPECT_TRUE(xu->present(2));
    EXPECT_FALSE(xu->present(3));
    EXPECT_FALSE(xu->present(5)) << "rows after the failure stay without buffers";
    delete xu;
}

TEST(CreateXU, ClassAndDefaultNodeFollowTheConfiguredGuid)
{
    struct Case {
        Guid guid;
        int node;
    };
    for (const auto& c :
         {Case{XU_GUID_SPI, 2}, Case{XU_GUID_CREATIVE, 3}, Case{XU_GUID_SKYPE, 4}}) {
        UnitAt u(c.node, {{1, 4}}, 0);
        auto inner = u.filter.control->handler;
        u.filter.control->handler = [inner](const KSP_NODE& r, uint8_t* d, uint32_t n,
                                            uint32_t* b) {
            return r.id == 0 ? hresultFromError(2) : inner(r, d, n, b);
        };
        CUVCXU* xu = nullptr;
        EXPECT_EQ(CreateXU(&u.filter, &xu, c.guid), 0);
        ASSERT_NE(xu, nullptr);
        EXPECT_EQ(xu->m_nodeId, c.node);
        const bool rightClass = c.node == 2   ? dynamic_cast<BVSPIXU*>(xu) != nullptr
                                : c.node == 3 ? dynamic_cast<CreativeXU*>(xu) != nullptr
                                              : dynamic_cast<CSkypeXU*>(xu) != nullptr;
        EXPECT_TRUE(rightClass) << c.node;
        delete xu;
    }
    ScriptedFilter filter;
    CUVCXU* xu = nullptr;
    EXPECT_EQ(CreateXU(&filter, &xu, Guid{1, 2, 3, {}}), E_FAIL);
    EXPECT_EQ(xu, nullptr);
}

} // namespace
