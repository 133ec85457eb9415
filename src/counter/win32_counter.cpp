// Windows counter: the system's own performance counter.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "counter.h"

namespace zel_counter {

bool QueryPerformanceFrequency(std::int64_t* countsPerSecond) {
  LARGE_INTEGER value;
  const bool ok = ::QueryPerformanceFrequency(&value) != 0;
  *countsPerSecond = ok ? value.QuadPart : 0;
  return ok;
}

bool QueryPerformanceCounter(std::int64_t* count) {
  LARGE_INTEGER value;
  const bool ok = ::QueryPerformanceCounter(&value) != 0;
  *count = ok ? value.QuadPart : 0;
  return ok;
}

}  // namespace zel_counter
