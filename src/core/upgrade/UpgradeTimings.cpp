#include "upgrade/UpgradeTimings.h"

#include <mutex>

namespace {
std::mutex g_mutex;
UpgradeTimings g_timings;
}  // namespace

UpgradeTimings GetUpgradeTimings() {
    std::lock_guard<std::mutex> guard(g_mutex);
    return g_timings;
}

void SetUpgradeTimingsForTests(const UpgradeTimings& timings) {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_timings = timings;
}
