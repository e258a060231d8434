// The extension-unit object handed to hosts: the unit's controls, sized once at creation.
#pragma once

#include "bravik/core/extension_unit.h"

#include <cstdint>
#include <memory>

namespace bravik
{

constexpr int kSelectorRows = 16;
constexpr uint32_t kMaxControlSize = 1024;

struct SelectorEntry {
    uint32_t id = 0;
    uint32_t size = 0; // 0: not reported
    std::unique_ptr<uint8_t[]> buffer;
    bool askAgain = false; // the length query failed for a passing reason: ask at first use
};

// Returns a zeroed block of size bytes (freed with delete[]), or null.
using BufferAllocator = uint8_t* (*)(uint32_t size);
uint8_t* allocateControlBuffer(uint32_t size);

class CUVCXU
{
public:
    // Sizes the controls; *result is InitPropertySize's result.
    CUVCXU(int nodeId, IBaseFilter* filter, int* result, const Guid& guid = kConfiguredXuGuid,
           BufferAllocator allocate = allocateControlBuffer);
    virtual ~CUVCXU();

    // A control counts as present when it has a buffer.
    bool present(int selector) const;
    // A control whose length query failed (a stall, a busy device) is asked again and gets
    // its buffer now; S_OK when there is nothing to ask or the answer came, else the failure.
    int requerySize(int selector, BufferAllocator allocate = allocateControlBuffer);

    Guid m_guid;
    int m_nodeId;
    SelectorEntry m_table[kSelectorRows];
    std::unique_ptr<IExtensionUnit> m_unit;
};

// The classes differ only in identity and in their default node id.
class BVEEPXU : public CUVCXU
{
    using CUVCXU::CUVCXU;
};
class BVSPIXU : public CUVCXU
{
    using CUVCXU::CUVCXU;
};
class CreativeXU : public CUVCXU
{
    using CUVCXU::CUVCXU;
};
class CSkypeXU : public CUVCXU
{
    using CUVCXU::CUVCXU;
};

int InitPropertySize(CUVCXU& xu, BufferAllocator allocate = allocateControlBuffer);

} // namespace bravik
