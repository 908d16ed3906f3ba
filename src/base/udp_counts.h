// Counters the UDP receiver module reports through its `udp_get_counts` entry.
#pragma once

#include <cstdint>

struct udp_counts {
    uint64_t received;      // datagrams read from the socket
    uint64_t delivered;     // records handed to the callback
    uint64_t dropped_full;  // dropped: memory queue full and no room on disk for its file
    uint64_t malformed;     // dropped because they could not be decoded (empty)
    uint64_t queue_peak;    // most records waiting in the memory queue at one time
    uint64_t spilled;       // records that went through the queue file (memory queue full)
    uint64_t restored;      // records found in the queue file at start (kept at the last stop)
    uint64_t waiting;       // records queued now, in memory and in the file
    uint64_t kept;          // records left in the queue file by the last stop
    uint64_t refused;       // datagrams from addresses outside "allow_routers" (base/allow_list.h)
};
