#include "receive/refused.h"

#include "companion/extern.h"
#include "receive/udp.h"

uint64_t routers_refused()
{
    uint64_t n = 0;
    udp_counts u {};
    if (udp_counts_get(&u))
        n += u.refused;
    if (tcp_get_counts) {
        tcp_counts t {};
        tcp_get_counts(&t);
        n += t.refused;
    }
    return n;
}
