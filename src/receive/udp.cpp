#include "receive/udp.h"

#include "companion/extern.h"
#include "base/notice.h"
#include "receive/udp_proc.h"

extern "C" {
typedef int (*start_udp_t)(RecvProc callback);
typedef void (*udp_get_counts_t)(udp_counts* counts);
typedef void (*stop_udp_t)(void);
}

namespace {
start_udp_t g_start_udp = nullptr;
udp_get_counts_t g_udp_get_counts = nullptr;
stop_udp_t g_stop_udp = nullptr;
}  // namespace

void udp_thread()
{
    if (!load_companion_module("udp.so", nullptr, {module_entry("start_udp", g_start_udp)}))
        return;
    // Extras of our own receiver; a module without them still receives.
    load_companion_module("udp.so", nullptr, {module_entry("udp_get_counts", g_udp_get_counts)});
    load_companion_module("udp.so", nullptr, {module_entry("stop_udp", g_stop_udp)});
    if (g_start_udp(MyRecvProc) != 0)
        notice("打开udp失败");
}

void udp_stop()
{
    if (g_stop_udp)
        g_stop_udp();
}

bool udp_counts_get(udp_counts* counts)
{
    if (!g_udp_get_counts || !counts)
        return false;
    g_udp_get_counts(counts);
    return true;
}
