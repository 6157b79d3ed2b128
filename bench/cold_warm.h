// The first and the second capture of a process, timed apart: the work runs
// twice in a child process forked for the measurement, so the first run is
// the first of its process (no planes, pages or tables left by earlier
// benchmarks) and the second shows what a process that already captured
// pays. The benchmark's time is the second run; counters give both.
#pragma once

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace coldwarm {

// Runs `capture` twice in a fresh child process; the work of each
// benchmark iteration is those two runs. Skips the benchmark with an error
// when the child cannot be made or fails.
template <typename Capture>
void measure(benchmark::State& state, Capture capture)
{
    double coldTotal = 0.0, warmTotal = 0.0;
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
            double seconds[2];
            for (double& s : seconds) {
                const auto start = std::chrono::steady_clock::now();
                capture();
                s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            }
            const bool written = write(fds[1], seconds, sizeof seconds) == static_cast<ssize_t>(sizeof seconds);
            _exit(written ? 0 : 1);
        }
        close(fds[1]);
        double seconds[2] = {0.0, 0.0};
        const bool read = ::read(fds[0], seconds, sizeof seconds) == static_cast<ssize_t>(sizeof seconds);
        close(fds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (!read || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the capture process failed");
            return;
        }
        state.SetIterationTime(seconds[1]);
        coldTotal += seconds[0];
        warmTotal += seconds[1];
        ++runs;
    }
    if (runs == 0)
        return;
    state.counters["cold_ms"] = 1000.0 * coldTotal / runs;
    state.counters["warm_ms"] = 1000.0 * warmTotal / runs;
    state.counters["cold_over_warm"] = warmTotal > 0.0 ? coldTotal / warmTotal : 0.0;
}

}  // namespace coldwarm
