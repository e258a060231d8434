// The node property request: which control of which unit, and whether to read or write it.
#pragma once

#include "bravik/core/guid.h"

#include <cstddef>
#include <cstdint>

namespace bravik
{

constexpr uint32_t KSPROPERTY_TYPE_GET = 0x00000001;
constexpr uint32_t KSPROPERTY_TYPE_SET = 0x00000002;
constexpr uint32_t KSPROPERTY_TYPE_TOPOLOGY = 0x10000000;
constexpr uint32_t kReadFlags = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY;
constexpr uint32_t kWriteFlags = KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY;

// 32 bytes, little-endian, in the published layout.
struct KSP_NODE {
    Guid set;        // the unit's property set
    uint32_t id = 0; // control selector, or 0 for the unit information
    uint32_t flags = 0;
    uint32_t nodeId = 0;
    uint32_t reserved = 0;
};
static_assert(sizeof(KSP_NODE) == 32);
static_assert(offsetof(KSP_NODE, id) == 16 && offsetof(KSP_NODE, flags) == 20 &&
              offsetof(KSP_NODE, nodeId) == 24);

} // namespace bravik
