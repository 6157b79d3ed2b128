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
  // Measured as the memory a capture's process is charged for at its peak
  // (a memory cgroup's usage, 720x576 and 1920x1080 at 1x to 2.5x), which
  // is more than the pixel rows alone (68 bytes per grid pixel, 6 per frame
  // pixel plus 3 per stored frame): about 68 bytes per grid pixel and 43 per
  // frame pixel for a single frame; registered frames add their warped
  // planes and weights (about 22 per grid pixel) and the registration's
  // pyramids and work memory (about 46 per frame pixel), and each stored
  // frame about 3 per frame pixel; some 4 MB whatever the size. Rounded up.
  constexpr std::uint64_t kPerGridPixel = 72;
  constexpr std::uint64_t kPerGridPixelRegistered = 22;
  constexpr std::uint64_t kPerFramePixel = 44;
  constexpr std::uint64_t kPerFramePixelRegistered = 52;
  constexpr std::uint64_t kPerFramePixelPerFrame = 4;
  constexpr std::uint64_t kFixed = 4u << 20;
  const std::uint64_t w = width > 0 ? static_cast<std::uint64_t>(width) : 0;
  const std::uint64_t h = height > 0 ? static_cast<std::uint64_t>(height) : 0;
  const std::uint64_t n = frames > 0 ? static_cast<std::uint64_t>(frames) : 0;
  const bool registered = n > 1;
  const auto gridW = static_cast<std::uint64_t>(scale * static_cast<double>(w));
  const auto gridH = static_cast<std::uint64_t>(scale * static_cast<double>(h));
  const std::uint64_t perGridPixel = kPerGridPixel + (registered ? kPerGridPixelRegistered : 0);
  const std::uint64_t perFramePixel =
      kPerFramePixel + (registered ? kPerFramePixelRegistered : 0) + kPerFramePixelPerFrame * n;
  return perGridPixel * gridW * gridH + perFramePixel * w * h + kFixed;
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
