// Progress time helpers.
#include "platform/clock.h"

#include <cstdio>

namespace vantrel {

std::string formatHMS(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return buf;
}

int64_t remainingSeconds(Clock::duration elapsed, int64_t done, int64_t total) {
    const double e = std::chrono::duration<double>(elapsed).count();
    if (done < 1) done = 1;
    return static_cast<int64_t>(e * static_cast<double>(total) / static_cast<double>(done) - e + 1.0);
}

}  // namespace vantrel
