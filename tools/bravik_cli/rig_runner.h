// The simulated rig, loaded from the tool's folder into the global symbol scope so that
// libBravik finds it, started for the run and stopped at the end.
#pragma once

#include <string>

namespace bravik::cli
{

class RigRunner
{
public:
    RigRunner() = default;
    ~RigRunner();
    RigRunner(const RigRunner&) = delete;
    RigRunner& operator=(const RigRunner&) = delete;

    // scenario empty: the default rig.
    bool start(const std::string& library, const std::string& scenario, std::string* error);

private:
    void* m_handle = nullptr;
    void (*m_stop)() = nullptr;
};

} // namespace bravik::cli
