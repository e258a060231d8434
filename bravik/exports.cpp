// The library's whole public surface: eight plain functions.
#include "bravik/include/bravik/bravik.h"

#include "bravik/core/bv_api.h"
#include "bravik/core/hresult.h"
#include "bravik/core/transfers.h"
#include "bravik/uvc/default_platform.h"

#include <new>

#define BV_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{

bravik::FilterHolder** holderSlot(BVFilterHolder** p)
{
    return reinterpret_cast<bravik::FilterHolder**>(p);
}
bravik::CUVCXU** unitSlot(BVUnit** p)
{
    return reinterpret_cast<bravik::CUVCXU**>(p);
}
bravik::CUVCXU* unitOf(BVUnit* p)
{
    return reinterpret_cast<bravik::CUVCXU*>(p);
}

// Nothing may unwind into a C host.
template <class F>
int guarded(F&& call) noexcept
{
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return bravik::E_OUTOFMEMORY;
    } catch (...) {
        return bravik::E_FAIL;
    }
}

} // namespace

BV_EXPORT int BV_InitializeCOM(int)
{
    return 0;
}

BV_EXPORT void BV_UninitializeCOM(void) {}

BV_EXPORT int BV_UVCInitialize(BVFilterHolder** filterOut, BVUnit** unitOut, int pid, int vid,
                               int* foundPid, int* foundVid)
{
    return guarded([&] {
        auto platform = bravik::defaultPlatform();
        return bravik::uvcInitialize(*platform, holderSlot(filterOut), unitSlot(unitOut), pid, vid,
                                     foundPid, foundVid);
    });
}

BV_EXPORT void BV_UVCRelease(BVFilterHolder** filter, BVUnit** unit)
{
    guarded([&] {
        bravik::uvcRelease(holderSlot(filter), unitSlot(unit));
        return 0;
    });
}

// A null unit or buffer would only crash the host; refuse it instead.
BV_EXPORT int BV_UvcReadReg(BVUnit* unit, int mode, int device, int address, uint16_t* value)
{
    if (!unit || !value)
        return bravik::E_INVALIDARG;
    return guarded(
        [&] { return bravik::readRegister(*unitOf(unit), mode, device, address, value); });
}

BV_EXPORT int BV_UvcWriteReg(BVUnit* unit, int mode, int device, int address, const uint16_t* value)
{
    if (!unit || !value)
        return bravik::E_INVALIDARG;
    return guarded(
        [&] { return bravik::writeRegister(*unitOf(unit), mode, device, address, value); });
}

BV_EXPORT int BV_UvcReadEEPCont(BVUnit* unit, int address, uint8_t* out)
{
    if (!unit || !out)
        return bravik::E_INVALIDARG;
    return guarded([&] { return bravik::readEepromBlock(*unitOf(unit), address & 0xFFFF, out); });
}

BV_EXPORT int BV_UvcWriteEEPCont(BVUnit* unit, int address, const uint8_t* data)
{
    if (!unit || !data)
        return bravik::E_INVALIDARG;
    return guarded([&] { return bravik::writeEepromBlock(*unitOf(unit), address & 0xFFFF, data); });
}
