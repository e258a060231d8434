// A stand-in libBravik that reports every call to the test program that loaded it and reads
// registers as the test scripted. Built in variants that lack an export, as a damaged
// install would.
#include "bravik/include/bravik/bravik.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>

namespace
{
template <class F> F host(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

__attribute__((format(printf, 1, 2))) void record(const char* format, ...)
{
    char line[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (auto f = host<void (*)(const char*)>("fakeBravikRecord"))
        f(line);
}

int g_holder, g_unit;
BVUnit* const kUnit = reinterpret_cast<BVUnit*>(&g_unit);

__attribute__((destructor)) void onUnload()
{
    record("unload");
}
} // namespace

extern "C" {
int BV_InitializeCOM(int flags)
{
    record("InitializeCOM(%d)", flags);
    return 0;
}

void BV_UninitializeCOM(void)
{
    record("UninitializeCOM");
}

int BV_UVCInitialize(BVFilterHolder** filterOut, BVUnit** unitOut, int pid, int vid, int* foundPid,
                     int* foundVid)
{
    record("UVCInitialize(0x%x,0x%x)", pid, vid);
    *foundPid = pid;
    *foundVid = vid;
    // Without a usable unit the holder is handed out all the same.
    *filterOut = reinterpret_cast<BVFilterHolder*>(&g_holder);
    if (!host<int (*)()>("fakeBravikHasCamera")())
        return BV_E_FAIL;
    *unitOut = kUnit;
    return BV_OK;
}

#ifndef FAKE_BRAVIK_WITHOUT_RELEASE
void BV_UVCRelease(BVFilterHolder** filter, BVUnit** unit)
{
    record("UVCRelease(%s,%s)", *filter ? "holder" : "null", *unit ? "unit" : "null");
    if (*filter)
        *filter = nullptr, *unit = nullptr;
}
#endif

int BV_UvcReadReg(BVUnit* unit, int mode, int device, int address, uint16_t* value)
{
    record("ReadReg(%d,0x%x,0x%x)", mode, device, address);
    if (unit != kUnit)
        return BV_E_INVALIDARG;
    return host<int (*)(int, int, uint16_t*)>("fakeBravikRead")(device, address, value) ? BV_E_FAIL
                                                                                        : BV_OK;
}

#ifndef FAKE_BRAVIK_WITHOUT_WRITE
int BV_UvcWriteReg(BVUnit* unit, int mode, int device, int address, const uint16_t* value)
{
    record("WriteReg(%d,0x%x,0x%x,0x%x)", mode, device, address, *value);
    return unit == kUnit ? BV_OK : BV_E_INVALIDARG;
}
#endif

int BV_UvcReadEEPCont(BVUnit*, int address, uint8_t*)
{
    record("ReadEEPCont(0x%x)", address);
    return BV_E_FAIL;
}

int BV_UvcWriteEEPCont(BVUnit*, int address, const uint8_t*)
{
    record("WriteEEPCont(0x%x)", address);
    return BV_E_FAIL;
}
}
