#include "devctl/bravik_api.h"

#include "app/data_files.h"

#include <wx/dynlib.h>
#include <wx/filefn.h>
#include <wx/log.h>

BravikTable BravikApi;

namespace
{
// Boxes holding the library; the table must outlive every one of them.
int g_bravikHolders = 0;

template <class F> void resolve(const wxDynamicLibrary& lib, const char* name, F& entry)
{
    entry = reinterpret_cast<F>(lib.RawGetSymbol(name));
    if (!entry)
        logLine("IOControlBox load() %s missing\n", name);
}
} // namespace

wxString bravikPath()
{
    return g_ProgramDir + "/" + wxDynamicLibrary::CanonicalizeName("Bravik");
}

bool loadBravik(wxDynamicLibrary& lib)
{
    const wxString path = bravikPath();
    if (!wxFileExists(path))
        return false; // the library is optional: nothing to report
    wxLogNull quiet;
    if (!lib.Load(path, wxDL_NOW | wxDL_VERBATIM | wxDL_QUIET)) {
        logLine("IOControlBox load() %s not loadable\n", toUtf8(path).c_str());
        return false;
    }
    ++g_bravikHolders;
    BravikTable t;
    resolve(lib, "BV_InitializeCOM", t.BV_InitializeCOM);
    resolve(lib, "BV_UninitializeCOM", t.BV_UninitializeCOM);
    resolve(lib, "BV_UVCInitialize", t.BV_UVCInitialize);
    resolve(lib, "BV_UVCRelease", t.BV_UVCRelease);
    resolve(lib, "BV_UvcReadReg", t.BV_UvcReadReg);
    resolve(lib, "BV_UvcWriteReg", t.BV_UvcWriteReg);
    resolve(lib, "BV_UvcReadEEPCont", t.BV_UvcReadEEPCont);
    resolve(lib, "BV_UvcWriteEEPCont", t.BV_UvcWriteEEPCont);
    BravikApi = t;
    return true;
}

void unloadBravik(wxDynamicLibrary& lib)
{
    if (!lib.IsLoaded())
        return;
    if (--g_bravikHolders <= 0) {
        g_bravikHolders = 0;
        BravikApi = BravikTable{};
    }
    lib.Unload();
}
