// Finding the unit's topology node and building the extension-unit object on a filter.
#pragma once

#include "bravik/core/uvc_xu.h"

namespace bravik
{

constexpr int kNoFilterNode = -1;
constexpr int kNoNodeAnswered = -10;

// The first node that answers the unit-information size query, or a negative code.
int DetectNodeId(IBaseFilter* filter, const Guid& guid = kConfiguredXuGuid);

// Stores the object in *unitOut unless its creation failed (then its result is returned).
int CreateXU(IBaseFilter* filter, CUVCXU** unitOut, const Guid& configured = kConfiguredXuGuid,
             BufferAllocator allocate = allocateControlBuffer);

} // namespace bravik
