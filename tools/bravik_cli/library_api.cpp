#include "tools/bravik_cli/library_api.h"

#include <filesystem>

namespace bravik::cli
{
std::string programDir()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

bool loadWholeLibrary(BravikLibrary& library, const std::string& path, std::string* error)
{
    if (!library.load(path, error))
        return false;
    if (library.missing().empty())
        return true;
    *error = "libBravik.so lacks " + library.missing().front();
    return false;
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
