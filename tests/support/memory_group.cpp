#include "tests/support/memory_group.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <optional>
#include <thread>

#include "app/cgroup_memory.h"

extern char** environ;

namespace memgroup {

namespace {

// This process's v1 memory group folder; nothing elsewhere.
std::optional<std::string> ownV1Group() {
  const std::optional<MemoryCgroup> group = FindMemoryCgroup("/");
  if (!group || !group->v1)
    return std::nullopt;
  return group->folder;
}

// A name no other group below ours has, in this or any other process.
std::string newGroupName() {
  static std::atomic<int> counter{0};
  return "fe_memory_group_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
}

std::uint64_t readNumber(const std::string& file) {
  std::ifstream in(file);
  std::uint64_t value = 0;
  in >> value;
  return value;
}

// The "oom_kill N" count of memory.oom_control (0 before kernel 4.13).
std::uint64_t oomKills(const std::string& group) {
  std::ifstream in(group + "/memory.oom_control");
  std::string key;
  std::uint64_t value = 0;
  while (in >> key >> value)
    if (key == "oom_kill")
      return value;
  return 0;
}

// Writes `text` to a control file; false when the kernel refuses it.
bool writeControl(const std::string& file, const std::string& text) {
  const int fd = open(file.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return close(fd) == 0 && written;
}

// A group with no process left can still be busy for a moment while the
// kernel lets go of the last one.
void removeGroup(const std::string& folder) {
  for (int attempt = 0; attempt < 100 && rmdir(folder.c_str()) != 0 && errno == EBUSY; ++attempt)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace

bool available() {
  const std::optional<std::string> own = ownV1Group();
  if (!own || geteuid() != 0)
    return false;
  const std::string probe = *own + "/" + newGroupName();
  if (mkdir(probe.c_str(), 0755) != 0)
    return false;
  removeGroup(probe);
  return true;
}

Outcome runInNewGroup(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  Outcome outcome;
  const std::optional<std::string> own = ownV1Group();
  if (!own || argv.empty())
    return outcome;
  const std::string group = *own + "/" + newGroupName();
  if (mkdir(group.c_str(), 0755) != 0)
    return outcome;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    removeGroup(group);
    return outcome;
  }
  // Everything the child needs is made before fork: the child of a process
  // with threads may only make async-signal-safe calls.
  const std::string procs = group + "/cgroup.procs";
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> environment;
  for (char** e = environ; *e != nullptr; ++e)
    environment.push_back(*e);
  for (const std::string& e : env)
    environment.push_back(const_cast<char*>(e.c_str()));
  environment.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    // Into the group before exec, so everything the program charges is
    // charged there ("0": the writing process).
    const int fd = open(procs.c_str(), O_WRONLY);
    if (fd < 0 || write(fd, "0", 1) != 1)
      _exit(126);
    close(fd);
    dup2(out[1], STDOUT_FILENO);
    execve(args[0], args.data(), environment.data());
    _exit(127);
  }
  close(out[1]);
  if (child > 0) {
    outcome.started = true;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) != 0;) {
      if (n > 0)
        outcome.output.append(buffer, static_cast<std::size_t>(n));
      else if (errno != EINTR)
        break;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.maxUsageBytes = readNumber(group + "/memory.max_usage_in_bytes");
    outcome.failCount = readNumber(group + "/memory.failcnt");
    outcome.killedByTheKernel = oomKills(group) > 0 || (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    if (WIFEXITED(status))
      outcome.exitCode = WEXITSTATUS(status);
  }
  close(out[0]);
  removeGroup(group);
  return outcome;
}

std::uint64_t ownGroupUsage() {
  const std::optional<std::string> own = ownV1Group();
  return own ? readNumber(*own + "/memory.usage_in_bytes") : 0;
}

bool limitOwnGroup(std::uint64_t bytes) {
  const std::optional<std::string> own = ownV1Group();
  return own && writeControl(*own + "/memory.limit_in_bytes", std::to_string(bytes)) &&
     writeControl(*own + "/memory.max_usage_in_bytes", "0") && writeControl(*own + "/memory.failcnt", "0");
}

}  // namespace memgroup
