// One property request through the filter's kernel handle, waited for at most 1000 ms.
#pragma once

#include "bravik/core/ks_interfaces.h"

namespace bravik
{

constexpr int kRequestWaitMs = 1000;

// Copies the answer into buffer (read requests) and its length into bytesReturned. A request
// not completed in time gives E_FAIL; it finishes on its own copy of the data.
int32_t MyDevIoControl(IKernelHandle* handle, const KSP_NODE& request, uint8_t* buffer,
                       uint32_t bufferSize, uint32_t* bytesReturned);

} // namespace bravik
