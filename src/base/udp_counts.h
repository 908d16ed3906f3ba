// Counters the UDP receiver module reports through its `udp_get_counts` entry.
#pragma once

#include <cstdint>

struct udp_counts {
    uint64_t received;       // datagrams read from the socket
    uint64_t delivered;      // records handed to the callback
    uint64_t dropped_full;   // dropped because the queue was full
    uint64_t malformed;      // dropped because they could not be decoded (empty)
    uint64_t queue_peak;     // most records waiting in the queue at one time
};
