#include "app/cgroup_memory.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The files of one cgroup version.
struct CgroupFiles {
  const char* limit;
  const char* usage;
  const char* inactiveFileKey;  // in memory.stat
};
constexpr CgroupFiles kV2{"memory.max", "memory.current", "inactive_file"};
constexpr CgroupFiles kV1{"memory.limit_in_bytes", "memory.usage_in_bytes", "total_inactive_file"};

// The first word of the file as a number; nothing for a missing file, "max"
// (no limit) or anything else that is not a number.
std::optional<std::uint64_t> ReadNumber(const fs::path& file) {
  std::ifstream in(file);
  std::uint64_t value = 0;
  if (in >> value) return value;
  return std::nullopt;
}

// The value of `key` in a file of "key value" lines (0 when absent).
std::uint64_t ReadKeyedValue(const fs::path& file, const std::string& key) {
  std::ifstream in(file);
  std::string name;
  std::uint64_t value = 0;
  while (in >> name >> value)
    if (name == key) return value;
  return 0;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

// Where the process's memory cgroup lies in its hierarchy.
struct Membership {
  bool v1 = false;
  std::string path;  // as /proc/self/cgroup names it
};

// The v1 hierarchy with the memory controller where there is one (hybrid
// systems keep memory there), else the unified v2 hierarchy ("0::path").
std::optional<Membership> FindMembership(const fs::path& root) {
  std::ifstream in(root / "proc/self/cgroup");
  std::optional<Membership> unified;
  for (std::string line; std::getline(in, line);) {
    const std::size_t a = line.find(':');
    const std::size_t b = a == std::string::npos ? a : line.find(':', a + 1);
    if (b == std::string::npos) continue;
    const std::string controllers = line.substr(a + 1, b - a - 1);
    const std::string path = line.substr(b + 1);
    const std::vector<std::string> names = Split(controllers, ',');
    if (std::find(names.begin(), names.end(), "memory") != names.end()) return Membership{true, path};
    if (line.compare(0, a, "0") == 0 && controllers.empty()) unified = Membership{false, path};
  }
  return unified;
}

// The folder of the group: under the hierarchy's mount (from mountinfo: the
// cgroup2 file system, or a v1 cgroup file system with the memory
// controller), less the part of the path the mount's own root covers.
// Without mountinfo, the usual mount points under /sys/fs/cgroup.
struct GroupFolder {
  fs::path folder;
  fs::path mount;
};

// Whether the cgroup path `path` is `ancestor` or lies below it, by whole
// names ("/docker/abcdef" does not lie below "/docker/abc").
bool IsWithin(const std::string& path, const std::string& ancestor) {
  if (ancestor == "/") return true;
  return path.compare(0, ancestor.size(), ancestor) == 0 &&
         (path.size() == ancestor.size() || path[ancestor.size()] == '/');
}

// Nothing when the group lies outside what the mount shows: no folder there
// is the group's or one above it.
std::optional<GroupFolder> FindFolder(const fs::path& root, const Membership& m) {
  fs::path mount = root / (m.v1 ? "sys/fs/cgroup/memory" : "sys/fs/cgroup");
  std::string mountRoot = "/";
  std::ifstream in(root / "proc/self/mountinfo");
  for (std::string line; std::getline(in, line);) {
    // id parent major:minor root mount-point options [optional...] - type source super-options
    const std::vector<std::string> fields = Split(line, ' ');
    const auto dash = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 5 || dash == fields.end() || fields.end() - dash < 4) continue;
    const std::string& type = dash[1];
    const std::vector<std::string> options = Split(dash[3], ',');
    const bool match = m.v1 ? type == "cgroup" && std::find(options.begin(), options.end(), "memory") != options.end()
                            : type == "cgroup2";
    if (match) {
      mountRoot = fields[3];
      mount = root / fields[4].substr(1);
      break;
    }
  }
  if (!IsWithin(m.path, mountRoot)) return std::nullopt;
  std::string relative = mountRoot == "/" ? m.path : m.path.substr(mountRoot.size());
  relative.erase(0, relative.find_first_not_of('/'));
  mount = mount.lexically_normal();
  return GroupFolder{relative.empty() ? mount : (mount / relative).lexically_normal(), mount};
}

}  // namespace

std::optional<MemoryCgroup> FindMemoryCgroup(const std::string& rootFolder) {
  const fs::path root(rootFolder);
  const std::optional<Membership> membership = FindMembership(root);
  if (!membership) return std::nullopt;
  const std::optional<GroupFolder> found = FindFolder(root, *membership);
  if (!found) return std::nullopt;
  return MemoryCgroup{found->folder.string(), found->mount.string(), membership->v1};
}

std::optional<std::uint64_t> CgroupMemoryAllowance(const std::string& rootFolder) {
  const std::optional<MemoryCgroup> found = FindMemoryCgroup(rootFolder);
  if (!found) return std::nullopt;
  const CgroupFiles& files = found->v1 ? kV1 : kV2;
  const GroupFolder group{found->folder, found->mount};
  std::optional<std::uint64_t> allowance;
  // From the process's group up to the hierarchy's root: a parent's limit
  // covers its children too.
  for (fs::path folder = group.folder;; folder = folder.parent_path()) {
    const std::optional<std::uint64_t> limit = ReadNumber(folder / files.limit);
    const std::optional<std::uint64_t> usage = ReadNumber(folder / files.usage);
    if (limit && usage) {
      const std::uint64_t reclaimable = ReadKeyedValue(folder / "memory.stat", files.inactiveFileKey);
      const std::uint64_t used = *usage - std::min(*usage, reclaimable);
      const std::uint64_t left = *limit > used ? *limit - used : 0;
      allowance = allowance ? std::min(*allowance, left) : left;
    }
    if (folder == group.mount || folder == folder.parent_path() || folder.native().size() <= group.mount.native().size())
      break;
  }
  return allowance;
}
