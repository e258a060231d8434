// A stand-in libBravik for the binding's tests: every call is reported to the test program
// that loaded it (through functions that program exports), and register reads return what
// the test scripted. Built in variants that lack an export, as a damaged install would.
#include "bravik/include/bravik/bravik.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>

namespace
{
using RecordFn = void (*)(const char*);
using ReadFn = int (*)(int, int, int, uint16_t*);
using HasCameraFn = int (*)();

template <class F> F host(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

void record(const char* format, ...) __attribute__((format(printf, 1, 2)));
void record(const char* format, ...)
{
    char line[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (auto f = host<RecordFn>("fakeBravikRecord"))
        f(line);
}

// The objects handed out; the binding must treat them as opaque.
int g_holder, g_unit;

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
    auto hasCamera = host<HasCameraFn>("fakeBravikHasCamera");
    *foundPid = pid;
    *foundVid = vid;
    // A device without a usable unit still hands out its holder.
    *filterOut = reinterpret_cast<BVFilterHolder*>(&g_holder);
    if (!hasCamera || !hasCamera())
        return BV_E_FAIL;
    *unitOut = reinterpret_cast<BVUnit*>(&g_unit);
    return 0;
}

#ifndef FAKE_BRAVIK_WITHOUT_RELEASE
void BV_UVCRelease(BVFilterHolder** filter, BVUnit** unit)
{
    record("UVCRelease(%s,%s)", *filter ? "holder" : "null", *unit ? "unit" : "null");
    if (!*filter)
        return;
    *unit = nullptr;
    *filter = nullptr;
}
#endif

int BV_UvcReadReg(BVUnit* unit, int mode, int device, int address, uint16_t* value)
{
    record("ReadReg(%d,0x%x,0x%x)", mode, device, address);
    if (unit != reinterpret_cast<BVUnit*>(&g_unit))
        return BV_E_INVALIDARG;
    auto read = host<ReadFn>("fakeBravikRead");
    return read ? read(mode, device, address, value) : BV_E_FAIL;
}

#ifndef FAKE_BRAVIK_WITHOUT_WRITE
int BV_UvcWriteReg(BVUnit* unit, int mode, int device, int address, const uint16_t* value)
{
    record("WriteReg(%d,0x%x,0x%x,0x%x)", mode, device, address, *value);
    return unit == reinterpret_cast<BVUnit*>(&g_unit) ? 0 : BV_E_INVALIDARG;
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
