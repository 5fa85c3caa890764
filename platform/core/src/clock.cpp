#include "core/clock.h"

#include <mutex>
#include <utility>

namespace {
std::mutex g_clockMutex;
ClockFunction& Installed() {
  static ClockFunction clock;
  return clock;
}
}  // namespace

ClockFunction SetClockForTesting(ClockFunction clock) {
  std::lock_guard lock(g_clockMutex);
  return std::exchange(Installed(), std::move(clock));
}

std::chrono::system_clock::time_point ClockNow() {
  ClockFunction clock;
  {
    std::lock_guard lock(g_clockMutex);
    clock = Installed();
  }
  return clock ? clock() : std::chrono::system_clock::now();
}
