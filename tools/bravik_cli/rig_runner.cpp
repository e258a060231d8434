#include "tools/bravik_cli/rig_runner.h"

#include <dlfcn.h>

namespace bravik::cli
{

RigRunner::~RigRunner()
{
    if (m_stop)
        m_stop();
    // The rig stays mapped: its threads and static objects may outlive this call.
}

bool RigRunner::start(const std::string& library, const std::string& scenario, std::string* error)
{
    m_handle = dlopen(library.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!m_handle) {
        const char* why = dlerror();
        *error = "cannot load the simulated rig " + library + ": " + (why ? why : "unknown error");
        return false;
    }
    auto start = reinterpret_cast<int (*)(const char*)>(dlsym(m_handle, "scopesim_start"));
    m_stop = reinterpret_cast<void (*)()>(dlsym(m_handle, "scopesim_stop"));
    if (!start || !m_stop) {
        *error = library + " lacks scopesim_start or scopesim_stop";
        m_stop = nullptr;
        return false;
    }
    if (start(scenario.empty() ? nullptr : scenario.c_str()) != 0) {
        // The rig has said why on stderr, in one line naming the file.
        error->clear();
        m_stop = nullptr;
        return false;
    }
    return true;
}

} // namespace bravik::cli
