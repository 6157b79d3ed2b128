// The first and the second capture of a process, timed apart: the work runs
// twice in a new process, this benchmark program started again (exec) with a
// filter that selects the calling benchmark alone, so the first run is the
// first of its process whatever ran before it (no planes, pages, heap or
// tables left by earlier benchmarks: a forked child would share its parent's
// heap) and the second shows what a process that already captured pays. The
// benchmark's time is the processor time (user and system) of the second
// run, which a busy machine disturbs less than the wall-clock time; counters
// give both runs' processor and wall-clock times, page faults and peak
// resident memory.
#pragma once

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace coldwarm {

// Names the descriptor the started program writes its costs to.
constexpr const char* kCostFdVariable = "FE_COLD_WARM_FD";

struct RunCost {
    double cpu = 0.0;   // seconds of processor time
    double wall = 0.0;  // seconds
    double faults = 0.0;
    double peakBytes = 0.0;  // resident memory at its highest during the run
};

// The descriptor to write the costs to when this process was started for a
// measurement; -1 in the benchmark program as started by hand.
inline int costDescriptor()
{
    const char* fd = std::getenv(kCostFdVariable);
    return fd != nullptr ? std::atoi(fd) : -1;
}

// The process whose files (the videos it wrote) this one uses: the program
// that started it for a measurement, else itself.
inline pid_t filesOwner() { return costDescriptor() >= 0 ? getppid() : getpid(); }

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

// The peak resident memory (VmHWM) starts again from the current one.
inline void resetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

inline double peakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return 1024.0 * std::atof(line.c_str() + 6);
    return 0.0;
}

// In the started process: both runs, their costs written, and the process
// ends there.
template <typename Capture>
[[noreturn]] void runAndReport(int fd, Capture& capture)
{
    RunCost cost[2];
    for (RunCost& c : cost) {
        resetPeakResident();
        const double cpu = processSeconds();
        const double faults = pageFaults();
        const auto start = std::chrono::steady_clock::now();
        capture();
        c.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        c.cpu = processSeconds() - cpu;
        c.faults = pageFaults() - faults;
        c.peakBytes = peakResidentBytes();
    }
    const bool written = write(fd, cost, sizeof cost) == static_cast<ssize_t>(sizeof cost);
    _exit(written ? 0 : 1);
}

// Starts this program again on the benchmark `name` with the argument of
// `state` alone; its costs come back through a pipe. False when it could not
// be started or did not report.
inline bool runInNewProcess(benchmark::State& state, const char* name, RunCost (&cost)[2])
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    // Everything exec needs is made before fork: the child of a process
    // with threads may only make async-signal-safe calls.
    const std::string filter = "--benchmark_filter=^" + std::string(name) + "/" + std::to_string(state.range(0)) + "/";
    const std::string fdVariable = std::string(kCostFdVariable) + "=" + std::to_string(fds[1]);
    std::vector<char*> env;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string(*e).rfind(std::string(kCostFdVariable) + "=", 0) != 0)
            env.push_back(*e);
    env.push_back(const_cast<char*>(fdVariable.c_str()));
    env.push_back(nullptr);
    char program[] = "/proc/self/exe";
    char* argv[] = {program, const_cast<char*>(filter.c_str()), nullptr};
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        // Its own benchmark report and context are not wanted beside this
        // one's (a failure shows as the skipped benchmark).
        const int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
        }
        execve(program, argv, env.data());
        _exit(127);
    }
    close(fds[1]);
    bool read = false;
    if (child > 0) {
        read = ::read(fds[0], cost, sizeof cost) == static_cast<ssize_t>(sizeof cost);
        int status = 0;
        waitpid(child, &status, 0);
        read = read && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    close(fds[0]);
    return read;
}

// Runs `capture` twice in a new process (see above); the work of each
// benchmark iteration is those two runs. `name` is the calling benchmark's
// name, which takes one argument. Skips the benchmark with an error when the
// process cannot be started or fails.
template <typename Capture>
void measure(benchmark::State& state, const char* name, Capture capture)
{
    if (const int fd = costDescriptor(); fd >= 0)
        runAndReport(fd, capture);
    RunCost total[2];
    int runs = 0;
    for (auto _ : state) {
        RunCost cost[2];
        if (!runInNewProcess(state, name, cost)) {
            state.SkipWithError("the capture process failed");
            return;
        }
        state.SetIterationTime(cost[1].cpu);
        for (int k = 0; k < 2; ++k) {
            total[k].cpu += cost[k].cpu;
            total[k].wall += cost[k].wall;
            total[k].faults += cost[k].faults;
            total[k].peakBytes += cost[k].peakBytes;
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
    state.counters["cold_peak_MB"] = total[0].peakBytes / runs / 1e6;
    state.counters["warm_peak_MB"] = total[1].peakBytes / runs / 1e6;
    state.counters["cold_over_warm"] = total[1].cpu > 0.0 ? total[0].cpu / total[1].cpu : 0.0;
}

}  // namespace coldwarm
