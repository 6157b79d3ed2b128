// The memory limit of the control group the process runs in (a container or
// a service with a memory limit): the kernel ends a process whose group goes
// beyond its limit however much memory the machine has free.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Bytes the process's memory cgroup and every cgroup above it still allow:
// the least, over those levels that set a limit, of the limit less the
// usage (page cache the kernel can drop before it ends anything is not
// counted as usage). Reads cgroup v2 (memory.max, memory.current) or, where
// the memory controller is on a v1 hierarchy, v1 (memory.limit_in_bytes,
// memory.usage_in_bytes), finding the group in /proc/self/cgroup and its
// mount in /proc/self/mountinfo (else under /sys/fs/cgroup). Every file is
// read under `root` ("/" for the running system). Nothing when no level sets
// a limit or the files are not there.
std::optional<std::uint64_t> CgroupMemoryAllowance(const std::string& root);

// The folder of the process's memory cgroup and the mount of its hierarchy
// (both under `root`), found as CgroupMemoryAllowance finds them, and whether
// the hierarchy is v1. Nothing when the group cannot be found.
struct MemoryCgroup {
  std::string folder;
  std::string mount;
  bool v1 = false;
};
std::optional<MemoryCgroup> FindMemoryCgroup(const std::string& root);
