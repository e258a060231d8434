// The built libBravik.so, loaded as a host loads it: by path, exports resolved by name.
#pragma once

#include "bravik/include/bravik/bravik.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

namespace bravik::test
{

inline std::string builtLibrary()
{
    return std::string(ORVEX_BINARY_DIR) + "/libBravik.so";
}

struct LoadedBravik {
    LoadedBravik()
    {
        handle = dlopen(builtLibrary().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        initializeCom = resolve<BV_InitializeCOM_fn>("BV_InitializeCOM");
        uninitializeCom = resolve<BV_UninitializeCOM_fn>("BV_UninitializeCOM");
        initialize = resolve<BV_UVCInitialize_fn>("BV_UVCInitialize");
        release = resolve<BV_UVCRelease_fn>("BV_UVCRelease");
        readReg = resolve<BV_UvcReadReg_fn>("BV_UvcReadReg");
        writeReg = resolve<BV_UvcWriteReg_fn>("BV_UvcWriteReg");
        readEeprom = resolve<BV_UvcReadEEPCont_fn>("BV_UvcReadEEPCont");
        writeEeprom = resolve<BV_UvcWriteEEPCont_fn>("BV_UvcWriteEEPCont");
    }
    ~LoadedBravik()
    {
        if (handle)
            dlclose(handle);
    }
    template <class F> F resolve(const char* name)
    {
        return reinterpret_cast<F>(dlsym(handle, name));
    }
    bool complete() const
    {
        return handle && initializeCom && uninitializeCom && initialize && release && readReg &&
               writeReg && readEeprom && writeEeprom;
    }

    void* handle = nullptr;
    BV_InitializeCOM_fn initializeCom = nullptr;
    BV_UninitializeCOM_fn uninitializeCom = nullptr;
    BV_UVCInitialize_fn initialize = nullptr;
    BV_UVCRelease_fn release = nullptr;
    BV_UvcReadReg_fn readReg = nullptr;
    BV_UvcWriteReg_fn writeReg = nullptr;
    BV_UvcReadEEPCont_fn readEeprom = nullptr;
    BV_UvcWriteEEPCont_fn writeEeprom = nullptr;
};

} // namespace bravik::test
