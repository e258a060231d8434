// The eight exports of libBravik, resolved by name at run time. The viewer never links the
// library: it is optional, and without it device control is simply unavailable.
#pragma once

#include "bravik/include/bravik/bravik.h"

#include <wx/string.h>

class wxDynamicLibrary;

struct BravikTable {
    BV_InitializeCOM_fn BV_InitializeCOM = nullptr;
    BV_UninitializeCOM_fn BV_UninitializeCOM = nullptr;
    BV_UVCInitialize_fn BV_UVCInitialize = nullptr;
    BV_UVCRelease_fn BV_UVCRelease = nullptr;
    BV_UvcReadReg_fn BV_UvcReadReg = nullptr;
    BV_UvcWriteReg_fn BV_UvcWriteReg = nullptr;
    BV_UvcReadEEPCont_fn BV_UvcReadEEPCont = nullptr;
    BV_UvcWriteEEPCont_fn BV_UvcWriteEEPCont = nullptr;
};

// Empty until a library is loaded; an export the library lacks stays empty.
extern BravikTable BravikApi;

// <g_ProgramDir>/libBravik.so
wxString bravikPath();

// Loads the library beside the program into lib and resolves the exports into BravikApi.
// False (lib not loaded, BravikApi untouched) when the file is missing or does not load.
bool loadBravik(wxDynamicLibrary& lib);

// Unloads lib; BravikApi is emptied once no loaded library is left.
void unloadBravik(wxDynamicLibrary& lib);
