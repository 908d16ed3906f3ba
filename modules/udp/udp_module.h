// Entry points of the UDP receiver module "udp.so".
#pragma once

#include "base/record.h"
#include "base/udp_counts.h"

extern "C" {
// Reads the port from "config" in the working directory, binds it on all IPv4
// addresses and starts the receiving and the delivering thread. 0 on
// success; -1 when the socket cannot be opened or bound, when `cb` is null or
// when the receiver already runs.
int start_udp(RecvProc cb);

// Stops both threads and closes the socket; records still queued are
// dropped. A callback in progress gets two seconds to return; after that its
// thread is left to end on its own. Not to be called from the callback.
void stop_udp(void);

// Counts of the current (or last) run.
void udp_get_counts(udp_counts* counts);

// The port the receiver is bound to, -1 when it does not run.
int udp_bound_port(void);
}
