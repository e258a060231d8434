#include "tools/bravik_cli/library_api.h"

#include <dlfcn.h>
#include <filesystem>

namespace bravik::cli
{
namespace
{

template <class F> bool resolve(void* handle, F& slot, const char* name, std::string* error)
{
    slot = reinterpret_cast<F>(dlsym(handle, name));
    if (!slot)
        *error = std::string("libBravik.so lacks ") + name;
    return slot != nullptr;
}

} // namespace

std::string programDir()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

BravikLibrary::~BravikLibrary()
{
    if (m_handle)
        dlclose(m_handle);
}

bool BravikLibrary::load(const std::string& path, std::string* error)
{
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = dlerror();
        *error = "cannot load " + path + ": " + (why ? why : "unknown error");
        return false;
    }
    return resolve(m_handle, m_api.initializeCom, "BV_InitializeCOM", error) &&
           resolve(m_handle, m_api.uninitializeCom, "BV_UninitializeCOM", error) &&
           resolve(m_handle, m_api.initialize, "BV_UVCInitialize", error) &&
           resolve(m_handle, m_api.release, "BV_UVCRelease", error) &&
           resolve(m_handle, m_api.readReg, "BV_UvcReadReg", error) &&
           resolve(m_handle, m_api.writeReg, "BV_UvcWriteReg", error) &&
           resolve(m_handle, m_api.readEeprom, "BV_UvcReadEEPCont", error) &&
           resolve(m_handle, m_api.writeEeprom, "BV_UvcWriteEEPCont", error);
}

DeviceSession::~DeviceSession()
{
    m_api.release(&m_filter, &m_unit);
}

int DeviceSession::open(int vid, int pid)
{
    m_api.release(&m_filter, &m_unit);
    return m_api.initialize(&m_filter, &m_unit, pid, vid, &m_foundPid, &m_foundVid);
}

} // namespace bravik::cli
