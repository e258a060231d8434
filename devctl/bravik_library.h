// libBravik loaded at run time and its eight exports resolved by name, for the viewer's box
// and for the bravik tool. Neither links the library: the viewer runs without it (device
// control is then unavailable), the tool refuses to run without all of it.
#pragma once

#include "bravik/include/bravik/bravik.h"

#include <string>
#include <vector>

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

// Owns one load of the library; the exports in api() are valid while it is loaded.
class BravikLibrary
{
public:
    BravikLibrary() = default;
    // Unloads the library unless it was kept loaded.
    ~BravikLibrary();
    BravikLibrary(const BravikLibrary&) = delete;
    BravikLibrary& operator=(const BravikLibrary&) = delete;

    // Loads the library at path (one loaded before is unloaded first) and resolves what it
    // exports. False with *error set ("cannot load PATH: WHY") when it does not load; a
    // library that loads but lacks exports is loaded, with those entries empty (see missing).
    bool load(const std::string& path, std::string* error);
    bool loaded() const { return m_handle != nullptr; }
    const BravikApi& api() const { return m_api; }
    // The exports the loaded library lacks, in the order of BravikApi.
    const std::vector<std::string>& missing() const { return m_missing; }

    // Empties api() and unloads.
    void unload();
    // Empties api() and leaves the library mapped for the rest of the process: a thread that
    // is still inside one of its calls returns into it.
    void keepLoaded();

private:
    void* m_handle = nullptr;
    BravikApi m_api;
    std::vector<std::string> m_missing;
};
