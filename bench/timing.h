// Clocks shared by the benchmark programs.
#pragma once

#include <benchmark/benchmark.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(name)
#endif

#include <chrono>
#include <ctime>

namespace benchtime
{

// For benchmarks that wait on threads or timers: wall-clock time, in ms.
// Use: BENCHMARK(BM_X)->Apply(benchtime::wallMs);
inline void wallMs(benchmark::internal::Benchmark* b)
{
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

inline double msSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// CPU time of the whole process (every thread, a decoder's own included), in ms.
inline double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Wall clock and process CPU time added up over the runs of one piece of work. Under
// callgrind each run is also a profile of its own, named after the span (every thread's
// instructions from the run's start to its end), which the load of the machine cannot move.
struct Span {
    const char* name;
    double wallMs = 0, cpuMs = 0;

    explicit Span(const char* spanName) : name(spanName) {}

    // Runs work once; its wall-clock time in seconds (for State::SetIterationTime).
    template <typename Work> double run(Work&& work)
    {
        CALLGRIND_ZERO_STATS;
        const double c0 = processCpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        work();
        const double wall = msSince(t0);
        CALLGRIND_DUMP_STATS_AT(name);
        cpuMs += processCpuMs() - c0;
        wallMs += wall;
        return wall / 1e3;
    }
};

} // namespace benchtime
