// The first and the second capture of a process, timed apart: the work runs
// twice in a child process forked for the measurement, so the first run is
// the first of its process (no planes, pages or tables left by earlier
// benchmarks) and the second shows what a process that already captured
// pays. The benchmark's time is the processor time (user and system) of the
// second run, which a busy machine disturbs less than the wall-clock time;
// counters give both runs' processor and wall-clock times and page faults.
#pragma once

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>

namespace coldwarm {

struct RunCost {
    double cpu = 0.0;   // seconds of processor time
    double wall = 0.0;  // seconds
    double faults = 0.0;
};

inline double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

inline double pageFaults()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_minflt + u.ru_majflt);
}

// Runs `capture` twice in a fresh child process; the work of each
// benchmark iteration is those two runs. Skips the benchmark with an error
// when the child cannot be made or fails.
template <typename Capture>
void measure(benchmark::State& state, Capture capture)
{
    RunCost total[2];
    int runs = 0;
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("pipe failed");
            return;
        }
        const pid_t child = fork();
        if (child < 0) {
            state.SkipWithError("fork failed");
            return;
        }
        if (child == 0) {
            close(fds[0]);
            RunCost cost[2];
            for (RunCost& c : cost) {
                const double cpu = processSeconds();
                const double faults = pageFaults();
                const auto start = std::chrono::steady_clock::now();
                capture();
                c.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                c.cpu = processSeconds() - cpu;
                c.faults = pageFaults() - faults;
            }
            const bool written = write(fds[1], cost, sizeof cost) == static_cast<ssize_t>(sizeof cost);
            _exit(written ? 0 : 1);
        }
        close(fds[1]);
        RunCost cost[2];
        const bool read = ::read(fds[0], cost, sizeof cost) == static_cast<ssize_t>(sizeof cost);
        close(fds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (!read || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the capture process failed");
            return;
        }
        state.SetIterationTime(cost[1].cpu);
        for (int k = 0; k < 2; ++k) {
            total[k].cpu += cost[k].cpu;
            total[k].wall += cost[k].wall;
            total[k].faults += cost[k].faults;
        }
        ++runs;
    }
    if (runs == 0)
        return;
    state.counters["cold_cpu_ms"] = 1000.0 * total[0].cpu / runs;
    state.counters["warm_cpu_ms"] = 1000.0 * total[1].cpu / runs;
    state.counters["cold_wall_ms"] = 1000.0 * total[0].wall / runs;
    state.counters["warm_wall_ms"] = 1000.0 * total[1].wall / runs;
    state.counters["cold_faults"] = total[0].faults / runs;
    state.counters["warm_faults"] = total[1].faults / runs;
    state.counters["cold_over_warm"] = total[1].cpu > 0.0 ? total[0].cpu / total[1].cpu : 0.0;
}

}  // namespace coldwarm
