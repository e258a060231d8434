// libBravik.so loaded from the tool's own folder, and one open device on it.
#pragma once

#include "devctl/bravik_library.h"

#include <string>

namespace bravik::cli
{

// The folder of the running executable.
std::string programDir();

// Loads the library with all of its exports; false with *error set otherwise.
bool loadWholeLibrary(BravikLibrary& library, const std::string& path, std::string* error);

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
