// What the process's heap holds free and what of the process is resident,
// for tests of the memory check before a capture.
#pragma once

#include <malloc.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace testsupport {

// Bytes the process's heap holds free for reuse (0 where the C library does
// not tell).
inline std::uint64_t FreeHeapBytes() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
  return static_cast<std::uint64_t>(mallinfo2().fordblks);
#else
  return 0;
#endif
}

// Bytes of the process in memory (its resident set), 0 when not known.
inline std::uint64_t ResidentBytes() {
  unsigned long long size = 0, resident = 0;
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  const bool read = std::fscanf(f, "%llu %llu", &size, &resident) == 2;
  std::fclose(f);
  return read ? resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) : 0;
}

}  // namespace testsupport
