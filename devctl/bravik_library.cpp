#include "devctl/bravik_library.h"

#include <dlfcn.h>

namespace
{
template <class F>
void resolve(void* handle, F& slot, const char* name, std::vector<std::string>& missing)
{
    slot = reinterpret_cast<F>(dlsym(handle, name));
    if (!slot)
        missing.emplace_back(name);
}
} // namespace

BravikLibrary::~BravikLibrary()
{
    unload();
}

bool BravikLibrary::load(const std::string& path, std::string* error)
{
    unload();
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = dlerror();
        *error = "cannot load " + path + ": " + (why ? why : "unknown error");
        return false;
    }
    resolve(m_handle, m_api.initializeCom, "BV_InitializeCOM", m_missing);
    resolve(m_handle, m_api.uninitializeCom, "BV_UninitializeCOM", m_missing);
    resolve(m_handle, m_api.initialize, "BV_UVCInitialize", m_missing);
    resolve(m_handle, m_api.release, "BV_UVCRelease", m_missing);
    resolve(m_handle, m_api.readReg, "BV_UvcReadReg", m_missing);
    resolve(m_handle, m_api.writeReg, "BV_UvcWriteReg", m_missing);
    resolve(m_handle, m_api.readEeprom, "BV_UvcReadEEPCont", m_missing);
    resolve(m_handle, m_api.writeEeprom, "BV_UvcWriteEEPCont", m_missing);
    return true;
}

void BravikLibrary::unload()
{
    void* handle = m_handle;
    keepLoaded();
    if (handle)
        dlclose(handle);
}

void BravikLibrary::keepLoaded()
{
    m_handle = nullptr;
    m_api = BravikApi{};
    m_missing.clear();
}
