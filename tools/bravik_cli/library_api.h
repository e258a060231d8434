// libBravik.so loaded from the tool's own folder, its eight exports resolved by name, and
// one open device on it.
#pragma once

#include "bravik/include/bravik/bravik.h"

#include <string>

namespace bravik::cli
{

struct BravikApi {
    BV_InitializeCOM_fn initializeCom = nullptr;
    BV_UninitializeCOM_fn uninitializeCom = nullptr;
    BV_UVCInitialize_fn initialize = nullptr;
    BV_UVCRelease_fn release = nullptr;
    BV_UvcReadReg_fn readReg = nullptr;
    BV_UvcWriteReg_fn writeReg = nullptr;
    BV_UvcReadEEPCont_fn readEeprom = nullptr;
    BV_UvcWriteEEPCont_fn writeEeprom = nullptr;
};

// The folder of the running executable.
std::string programDir();

class BravikLibrary
{
public:
    BravikLibrary() = default;
    ~BravikLibrary();
    BravikLibrary(const BravikLibrary&) = delete;
    BravikLibrary& operator=(const BravikLibrary&) = delete;

    // False with *error set when the library or one of its exports is missing.
    bool load(const std::string& path, std::string* error);
    const BravikApi& api() const { return m_api; }

private:
    void* m_handle = nullptr;
    BravikApi m_api;
};

// The unit of one device between initialise and release.
class DeviceSession
{
public:
    explicit DeviceSession(const BravikApi& api) : m_api(api) {}
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // The initialise result; the unit is usable when unit() is set.
    int open(int vid, int pid);
    BVUnit* unit() const { return m_unit; }
    int foundVid() const { return m_foundVid; }
    int foundPid() const { return m_foundPid; }

private:
    const BravikApi& m_api;
    BVFilterHolder* m_filter = nullptr;
    BVUnit* m_unit = nullptr;
    int m_foundVid = -1;
    int m_foundPid = -1;
};

} // namespace bravik::cli
