// The C interface: a thin layer over the C++ one, with messages on stderr.
#include "scopesim/rig.h"
#include "scopesim/scopesim.h"

#include <cstdio>

extern "C" {

int scopesim_start(const char* scenario)
{
    std::string error;
    bool ok = scenario ? scopesim::startFile(scenario, &error)
                       : scopesim::startText(scopesim::defaultScenario(), "<default rig>", &error);
    if (!ok) {
        std::fprintf(stderr, "scopesim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

void scopesim_stop(void)
{
    scopesim::stop();
}

int scopesim_running(void)
{
    return scopesim::running() ? 1 : 0;
}

int scopesim_command(const char* line)
{
    if (!line) {
        std::fprintf(stderr, "scopesim: no command given\n");
        return 1;
    }
    std::string error;
    if (!scopesim::command(line, &error)) {
        std::fprintf(stderr, "scopesim: %s: %s\n", line, error.c_str());
        return 1;
    }
    return 0;
}

void scopesim_set_clock(unsigned (*now)(void*), void (*sleep)(void*, unsigned), void* ctx)
{
    if (!now) {
        scopesim::setTimeSource({}, {});
        return;
    }
    scopesim::NowFn n = [now, ctx] { return static_cast<uint32_t>(now(ctx)); };
    scopesim::SleepFn s;
    if (sleep)
        s = [sleep, ctx](uint32_t ms) { sleep(ctx, ms); };
    scopesim::setTimeSource(n, s);
}

unsigned scopesim_time(void)
{
    return scopesim::rigTime();
}

void scopesim_poll(void)
{
    scopesim::poll();
}

void scopesim_wait(unsigned ms)
{
    scopesim::wait(ms);
}

} // extern "C"
