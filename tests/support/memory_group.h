// A program run anew in a memory cgroup of its own, as a container or a
// service with a memory limit runs the program: a fresh v1 group is made
// below the caller's own, the program is started in it (fork and exec) and
// the group is removed once it has ended. The program sets the group's limit
// itself when it is ready to be measured (limitOwnGroup). Needs the memory
// controller on a v1 hierarchy and the right to make groups there (root).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace memgroup {

// Whether runInNewGroup can work here: the memory controller on a v1
// hierarchy and a group of this process's that can take child groups.
bool available();

struct Outcome {
  bool started = false;
  bool killedByTheKernel = false;  // ended by the group's out-of-memory killer
  int exitCode = -1;               // when it ended by itself
  std::string output;              // what it wrote to its standard output
  std::uint64_t maxUsageBytes = 0;  // memory.max_usage_in_bytes at the end
  std::uint64_t failCount = 0;      // memory.failcnt
};

// Runs `argv` with `env` added to this process's environment, in a new
// group below this process's own; the group goes when the program ends.
Outcome runInNewGroup(const std::vector<std::string>& argv, const std::vector<std::string>& env);

// In the program started by runInNewGroup: the bytes its group has charged
// now, and the group's limit set to `bytes` with its peak usage started
// again from the current usage. False when the kernel does not take the
// limit (usage beyond it that cannot be reclaimed) or there is no group.
std::uint64_t ownGroupUsage();
bool limitOwnGroup(std::uint64_t bytes);

}  // namespace memgroup
