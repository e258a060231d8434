#include "bravik/core/create_xu.h"

#include "bravik/core/diagnostics.h"
#include "bravik/core/hresult.h"

#include <new>
#include <thread>

namespace bravik
{
namespace
{

constexpr uint32_t kDefaultNodeCount = 16;
constexpr uint32_t kScratchSize = 1024;

template <class T>
CUVCXU* build(int node, IBaseFilter* filter, int* result, const Guid& guid, BufferAllocator alloc)
{
    return new (std::nothrow) T(node, filter, result, guid, alloc);
}

struct XuClass {
    const Guid* guid;
    int defaultNode;
    CUVCXU* (*create)(int, IBaseFilter*, int*, const Guid&, BufferAllocator);
};

const XuClass kClasses[] = {
    {&XU_GUID_EEP, 1, build<BVEEPXU>},
    {&XU_GUID_SPI, 2, build<BVSPIXU>},
    {&XU_GUID_CREATIVE, 3, build<CreativeXU>},
    {&XU_GUID_SKYPE, 4, build<CSkypeXU>},
};

} // namespace

int DetectNodeId(IBaseFilter* filter, const Guid& guid)
{
    if (!filter)
        return kNoFilterNode;
    uint32_t nodes = kDefaultNodeCount;
    if (auto topology = filter->queryTopologyInfo()) {
        uint32_t count = 0;
        if (topology->numNodes(&count) >= 0)
            nodes = count;
    }
    uint32_t scratchSize = kScratchSize;
    std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[scratchSize]());
    if (!scratch)
        return kNoNodeAnswered;
    IExtensionUnit probe(guid, 1);
    probe.Attach(filter);
    for (uint32_t i = 0; i < nodes; ++i) {
        probe.SetNodeId(i);
        uint32_t size = 0;
        if (probe.GetInfoSize(&size) < 0)
            continue;
        if (size > scratchSize) {
            scratch.reset(new (std::nothrow) uint8_t[size]());
            if (!scratch)
                return kNoNodeAnswered;
            scratchSize = size;
        }
        probe.GetInfo(scratchSize, scratch.get());
        return int(i);
    }
    return kNoNodeAnswered;
}

int CreateXU(IBaseFilter* filter, CUVCXU** unitOut, const Guid& configured,
             BufferAllocator allocate)
{
    int node = DetectNodeId(filter, configured);
    diagPrint("CreateXU : ");
    diagPrint("DetectNodeId = %d\n", node);
    // No settle time is needed before creating the object here; only give way once.
    std::this_thread::yield();
    const XuClass* match = nullptr;
    for (const auto& c : kClasses) {
        if (*c.guid == configured) {
            match = &c;
            break;
        }
    }
    if (!match)
        return E_FAIL;
    int nodeId = node >= 0 ? node : match->defaultNode;
    int result = S_OK;
    CUVCXU* xu = match->create(nodeId, filter, &result, configured, allocate);
    if (!xu)
        return S_OK;
    if (result >= 0) {
        if (unitOut)
            *unitOut = xu;
        else
            delete xu;
        return result;
    }
    delete xu;
    return result;
}

} // namespace bravik
