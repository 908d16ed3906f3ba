// Counters the mail receiver module reports through its `tcp_get_counts`
// entry.
#pragma once

#include <cstdint>

struct tcp_counts {
    uint64_t sessions;  // connections taken (refused ones included)
    uint64_t refused;   // sessions from addresses outside "allow_routers", answered 554
    uint64_t busy;      // sessions answered 421 because too many were open
    uint64_t stored;    // mails stored
};
