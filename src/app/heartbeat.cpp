#include "app/heartbeat.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr guint INTERVAL_MS = 10;

std::vector<float> g_late_ms;
gint64 g_last = 0;  // monotonic microseconds of the last tick
bool g_running = false;

gboolean tick(gpointer)
{
    const gint64 now = g_get_monotonic_time();
    // GLib sets the next expiry from the dispatch of this one.
    const double late = static_cast<double>(now - g_last) / 1000.0 - INTERVAL_MS;
    g_late_ms.push_back(static_cast<float>(std::max(0.0, late)));
    g_last = now;
    return TRUE;
}

float percentile(std::vector<float>& v, double p)
{
    const auto k = static_cast<std::size_t>(std::lround(p * static_cast<double>(v.size() - 1)));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
    return v[k];
}

}  // namespace

void start_heartbeat()
{
    const char* v = std::getenv("LOGSERVER_HEARTBEAT");
    if (!v || !*v || std::strcmp(v, "0") == 0 || g_running)
        return;
    g_running = true;
    g_late_ms.reserve(1 << 16);
    g_last = g_get_monotonic_time();
    g_timeout_add(INTERVAL_MS, tick, nullptr);
}

void report_heartbeat()
{
    if (!g_running)
        return;
    if (g_late_ms.empty()) {
        std::fprintf(stderr, "heartbeat: ticks=0\n");
        return;
    }
    std::vector<float> v = g_late_ms;
    const float median = percentile(v, 0.5);
    const float p99 = percentile(v, 0.99);
    const float max = *std::max_element(v.begin(), v.end());
    std::fprintf(stderr, "heartbeat: ticks=%zu late_ms median=%.2f p99=%.2f max=%.2f\n", v.size(),
                 median, p99, max);
}
