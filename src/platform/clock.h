// Wall-clock time for progress estimates.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vantrel {

using Clock = std::chrono::steady_clock;

// Whole seconds as "hh:mm:ss" (hours past 99 keep all their digits).
std::string formatHMS(int64_t seconds);

// The remaining time of a job that has done `done` of `total` items in `elapsed`:
// elapsed x total / done - elapsed + 1 second.
int64_t remainingSeconds(Clock::duration elapsed, int64_t done, int64_t total);

}  // namespace vantrel
