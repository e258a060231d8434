// Extension units out of a device's USB descriptors (the sysfs 'descriptors' layout: the
// device descriptor, then every configuration descriptor).
#pragma once

#include "bravik/core/guid.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bravik
{

struct ExtensionUnitDescriptor {
    uint8_t unitId = 0;
    Guid guid;
    uint8_t numControls = 0;
    std::vector<uint8_t> bmControls; // little-endian, bControlSize bytes
    std::vector<uint8_t> raw;        // the whole descriptor
};

struct UvcDescriptors {
    std::vector<ExtensionUnitDescriptor> units; // in descriptor order
    bool hasVideoControl = false;
    int highestEntityId = -1; // over the VideoControl terminals and units
    std::string error;        // empty when the whole input was well formed

    bool ok() const { return error.empty(); }
    // Topology node count: unit ids index the nodes.
    uint32_t nodeCount() const { return uint32_t(highestEntityId + 1); }
    const ExtensionUnitDescriptor* find(uint32_t unitId, const Guid& guid) const;
};

// Never reads outside [data, data + size). On malformed input, error says where; the units
// parsed before that point are kept.
UvcDescriptors parseUvcDescriptors(const uint8_t* data, size_t size);

// "unit 3 {69678EE4-410F-40DB-A850-7420D7D8240E} controls 8 bmControls 0x33f"
std::string formatUnitLine(const ExtensionUnitDescriptor& unit);

} // namespace bravik
