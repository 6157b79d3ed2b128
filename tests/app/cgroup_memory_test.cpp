// The memory a capture may have under a cgroup limit, read from cgroup
// files laid out under a temporary root (never the machine's own).
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/capture_memory.h"
#include "app/cgroup_memory.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kMachine = 8192 * kMiB;  // MemAvailable of every case

const char* const kMountsV2 =
    "25 30 0:22 / /proc rw - proc proc rw\n"
    "29 30 0:26 / /sys/fs/cgroup rw,nosuid shared:4 - cgroup2 cgroup2 rw,nsdelegate\n";
const char* const kMountsV1 =
    "31 25 0:27 / /sys/fs/cgroup/cpu rw - cgroup cgroup rw,cpu,cpuacct\n"
    "32 25 0:28 /docker/abc /sys/fs/cgroup/memory rw,nosuid - cgroup cgroup rw,memory\n";

struct Case {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;
  std::uint64_t available;  // SystemAvailableBytes
  bool refused;             // a 1080p capture of 9 frames at 2x
};

std::string Bytes(std::uint64_t mib) { return std::to_string(mib * kMiB) + "\n"; }

TEST(CgroupMemory, TheTightestLimitBoundsTheAvailableMemory) {
  const std::string group = "sys/fs/cgroup/app.slice/fe.service/";
  const Case cases[] = {
      {"v2 limit less its usage; dropped page cache counts as free",
       {{"proc/self/cgroup", "0::/app.slice/fe.service\n"}, {"proc/self/mountinfo", kMountsV2},
        {group + "memory.max", Bytes(2048)}, {group + "memory.current", Bytes(1536)},
        {group + "memory.stat", "anon 1000\ninactive_file " + std::to_string(256 * kMiB) + "\n"}},
       768 * kMiB, true},
      {"v2 group without a limit under a parent with one",
       {{"proc/self/cgroup", "0::/app.slice/fe.service\n"}, {"proc/self/mountinfo", kMountsV2},
        {group + "memory.max", "max\n"}, {group + "memory.current", Bytes(100)},
        {"sys/fs/cgroup/app.slice/memory.max", Bytes(1024)}, {"sys/fs/cgroup/app.slice/memory.current", Bytes(512)}},
       512 * kMiB, true},
      {"v2 max everywhere",
       {{"proc/self/cgroup", "0::/app.slice/fe.service\n"}, {"proc/self/mountinfo", kMountsV2},
        {group + "memory.max", "max\n"}, {group + "memory.current", Bytes(100)}},
       kMachine, false},
      {"v2 usage beyond the limit",
       {{"proc/self/cgroup", "0::/\n"}, {"sys/fs/cgroup/memory.max", Bytes(512)},
        {"sys/fs/cgroup/memory.current", Bytes(600)}},
       0, true},
      {"v1 memory hierarchy mounted at the group (hybrid system)",
       {{"proc/self/cgroup", "12:cpu,cpuacct:/docker/abc\n7:memory:/docker/abc\n0::/\n"},
        {"proc/self/mountinfo", kMountsV1}, {"sys/fs/cgroup/memory/memory.limit_in_bytes", Bytes(3072)},
        {"sys/fs/cgroup/memory/memory.usage_in_bytes", Bytes(1024)},
        {"sys/fs/cgroup/memory/memory.stat", "cache 5\ntotal_inactive_file 0\n"}},
       2048 * kMiB, false},
      {"v1 without a limit",
       {{"proc/self/cgroup", "7:memory:/user.slice\n"},
        {"sys/fs/cgroup/memory/user.slice/memory.limit_in_bytes", "9223372036854771712\n"},
        {"sys/fs/cgroup/memory/user.slice/memory.usage_in_bytes", Bytes(1024)}},
       kMachine, false},
      {"v1 group below the mount's root",
       {{"proc/self/cgroup", "7:memory:/docker/abc/sub\n"}, {"proc/self/mountinfo", kMountsV1},
        {"sys/fs/cgroup/memory/sub/memory.limit_in_bytes", Bytes(2048)},
        {"sys/fs/cgroup/memory/sub/memory.usage_in_bytes", Bytes(0)}},
       2048 * kMiB, false},
      {"v1 group whose name only begins with the mount's root: no folder shown is its own or above it",
       {{"proc/self/cgroup", "7:memory:/docker/abcdef\n"}, {"proc/self/mountinfo", kMountsV1},
        {"sys/fs/cgroup/memory/def/memory.limit_in_bytes", Bytes(512)},
        {"sys/fs/cgroup/memory/def/memory.usage_in_bytes", Bytes(0)},
        {"sys/fs/cgroup/memory/memory.limit_in_bytes", Bytes(1024)},
        {"sys/fs/cgroup/memory/memory.usage_in_bytes", Bytes(512)}},
       kMachine, false},
      {"v1 group outside the mount",
       {{"proc/self/cgroup", "7:memory:/system.slice/fe.service\n"}, {"proc/self/mountinfo", kMountsV1},
        {"sys/fs/cgroup/memory/memory.limit_in_bytes", Bytes(1024)},
        {"sys/fs/cgroup/memory/memory.usage_in_bytes", Bytes(512)}},
       kMachine, false},
      {"no cgroup files", {}, kMachine, false},
      {"group named but its files missing", {{"proc/self/cgroup", "0::/gone\n"}}, kMachine, false},
  };
  const fs::path root = fs::temp_directory_path() / ("cgroup_memory_test_" + std::to_string(getpid()));
  const std::uint64_t capture = CapturePeakBytes(1920, 1080, 9, 2.0);
  for (const Case& c : cases) {
    fs::remove_all(root);
    fs::create_directories(root / "proc/self");
    std::ofstream(root / "proc/meminfo") << "MemTotal: 16777216 kB\nMemAvailable: " << kMachine / 1024 << " kB\n";
    for (const auto& [file, text] : c.files) {
      fs::create_directories((root / file).parent_path());
      std::ofstream(root / file) << text;
    }
    EXPECT_EQ(SystemAvailableBytes(root.string()), c.available) << c.name;
    EXPECT_EQ(capture > SystemAvailableBytes(root.string()), c.refused) << c.name;
  }
  fs::remove_all(root);
}

}  // namespace
