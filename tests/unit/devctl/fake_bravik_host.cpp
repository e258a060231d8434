// Exported from the test program; the stand-in library finds these at run time.
#include "fake_bravik_host.h"

fakebravik::Host& fakebravik::host()
{
    static Host h;
    return h;
}

extern "C" {
void fakeBravikRecord(const char* line)
{
    fakebravik::host().calls.emplace_back(line);
}

int fakeBravikRead(int device, int address, uint16_t* value)
{
    auto& q = fakebravik::host().reads[{device, address}];
    if (q.empty())
        return -1;
    *value = q.front();
    if (q.size() > 1)
        q.pop_front();
    return 0;
}

int fakeBravikHasCamera()
{
    return fakebravik::host().hasCamera;
}
}
