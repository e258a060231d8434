// Exported from the test program, found by the stand-in library at run time.
#include "fake_bravik_host.h"

#include "bravik/include/bravik/bravik.h"

namespace fakebravik
{
Host& host()
{
    static Host h;
    return h;
}
} // namespace fakebravik

extern "C" {
void fakeBravikRecord(const char* line)
{
    fakebravik::host().calls.emplace_back(line);
}

int fakeBravikRead(int, int device, int address, uint16_t* value)
{
    auto& reads = fakebravik::host().reads;
    auto it = reads.find({device, address});
    if (it == reads.end() || it->second.empty())
        return BV_E_FAIL;
    *value = it->second.front();
    if (it->second.size() > 1)
        it->second.pop_front();
    return BV_OK;
}

int fakeBravikHasCamera()
{
    return fakebravik::host().hasCamera ? 1 : 0;
}
}
