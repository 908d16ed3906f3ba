// Entry points of the UDP receiver module "udp.so".
#pragma once

#include "base/record.h"
#include "base/udp_counts.h"

extern "C" {
// Reads the port from "config" in the working directory, binds it on all IPv4
// addresses and starts the receiving and the delivering thread. 0 on
// success; -1 when the socket cannot be opened or bound, when `cb` is null or
// when the receiver already runs.
// When "allow_routers" exists in the working directory, datagrams from
// addresses outside it are read and counted as refused, nothing more
// (base/allow_list.h; the file is read again within a second of a change).
int start_udp(RecvProc cb);

// Stops both threads and closes the socket. Datagrams still in the socket
// are queued first; every record still queued (memory and file) is kept in
// the queue file "udp.queue" of the working directory and delivered first at
// the next start. A callback in progress gets two seconds to return; after
// that its thread is left to end on its own. Not to be called from the
// callback.
//
// The memory queue holds LOGSERVER_UDP_QUEUE_RECORDS records (262,144 when
// unset); when it is full, records go on in the queue file, unless the disk
// has less than LOGSERVER_UDP_QUEUE_MIN_FREE_MB free (1000 when unset): then
// they are dropped and counted.
void stop_udp(void);

// Counts of the current (or last) run.
void udp_get_counts(udp_counts* counts);

// The port the receiver is bound to, -1 when it does not run.
int udp_bound_port(void);
}
