#include "app/capture_memory.h"

#include "app/cgroup_memory.h"
#include "engine/kept_planes.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>

std::uint64_t CapturePeakBytes(int width, int height, int frames, double scale) {
  // Measured over the engine's pixel allocations and the heap as a whole:
  // about 68 bytes per grid pixel, 6 per frame pixel plus 3 per stored frame
  // in pixel rows, some 50 per frame pixel elsewhere (three frames), and
  // 2.7 MB whatever the size. Rounded up.
  constexpr std::uint64_t kPerGridPixel = 72;
  constexpr std::uint64_t kPerFramePixel = 48;
  constexpr std::uint64_t kPerFramePixelPerFrame = 24;
  constexpr std::uint64_t kFixed = 4u << 20;
  const std::uint64_t w = width > 0 ? static_cast<std::uint64_t>(width) : 0;
  const std::uint64_t h = height > 0 ? static_cast<std::uint64_t>(height) : 0;
  const std::uint64_t n = frames > 0 ? static_cast<std::uint64_t>(frames) : 0;
  const auto gridW = static_cast<std::uint64_t>(scale * static_cast<double>(w));
  const auto gridH = static_cast<std::uint64_t>(scale * static_cast<double>(h));
  return kPerGridPixel * gridW * gridH + (kPerFramePixel + kPerFramePixelPerFrame * n) * w * h +
         kFixed;
}

std::uint64_t FreeHeapBytes() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
  return static_cast<std::uint64_t>(mallinfo2().fordblks);
#else
  return 0;
#endif
}

namespace {

// MemAvailable of the meminfo file; the free pages the system counts when
// there is no such file (not under a test root).
std::uint64_t MachineAvailableBytes(const std::string& root) {
  if (std::FILE* f = std::fopen((std::filesystem::path(root) / "proc/meminfo").c_str(), "r")) {
    char line[256];
    unsigned long long kb = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f))
      found = std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1;
    std::fclose(f);
    if (found) return static_cast<std::uint64_t>(kb) * 1024u;
  }
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (root == "/" && pages > 0 && pageSize > 0)
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
  return std::numeric_limits<std::uint64_t>::max();
}

}  // namespace

std::uint64_t SystemAvailableBytes(const std::string& root) {
  const std::uint64_t machine = MachineAvailableBytes(root);
  const std::optional<std::uint64_t> group = CgroupMemoryAllowance(root);
  return group ? std::min(machine, *group) : machine;
}

std::uint64_t AvailableMemoryBytes(const std::string& root) {
  const std::uint64_t system = SystemAvailableBytes(root);
  if (system == std::numeric_limits<std::uint64_t>::max()) return system;
  return system + keptPlaneBytes();
}

bool CaptureFits(std::uint64_t needed, std::uint64_t released, const std::function<std::uint64_t()>& available) {
  const std::uint64_t beyondReleased = needed - std::min(needed, released);
  if (beyondReleased <= available()) return true;
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
  return beyondReleased <= available();
}
