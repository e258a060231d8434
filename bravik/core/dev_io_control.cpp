#include "bravik/core/dev_io_control.h"

#include "bravik/core/diagnostics.h"
#include "bravik/core/hresult.h"

#include <algorithm>
#include <cstring>

namespace bravik
{

int32_t MyDevIoControl(IKernelHandle* handle, const KSP_NODE& request, uint8_t* buffer,
                       uint32_t bufferSize, uint32_t* bytesReturned)
{
    if (!handle)
        return E_POINTER;
    auto io = handle->deviceIoControl(request, buffer, buffer ? bufferSize : 0);
    if (!io)
        return E_FAIL;
    if (!io->waitFor(std::chrono::milliseconds(kRequestWaitMs))) {
        diagPrint("MyDevIoControl : ");
        diagPrint("wait timeout!!\n");
        return E_FAIL;
    }
    int32_t result = io->result();
    if (result == S_OK) {
        diagPrint("MyDevIoControl : ");
        diagPrint("devio ok\n");
    } else {
        diagPrint("MyDevIoControl : ");
        diagPrint("devio err=%d [%08X]\n", errorFromHresult(result), unsigned(result));
    }
    if ((request.flags & KSPROPERTY_TYPE_GET) && buffer && io->size())
        std::memcpy(buffer, io->data(), std::min(bufferSize, io->size()));
    if (bytesReturned)
        *bytesReturned = io->bytesReturned();
    return result;
}

} // namespace bravik
