// Entry points of the mail receiver module "tcp_dll.dll": an SMTP server
// that stores each accepted mail under "mail_save/<router>/" and reports it
// to the program with a record of type 144.
#pragma once

#include <cstdint>

#include "base/record.h"
#include "base/tcp_counts.h"

// What a hostile or broken peer may use up. Zero fields take the default.
struct tcp_limits {
    uint64_t max_message_bytes;  // message after dot-unstuffing; 552 beyond (default 25 MiB)
    uint32_t max_line_bytes;     // command line with its CRLF; 500 beyond (default 512)
    uint32_t max_recipients;     // per message; 452 beyond (default 100)
    uint32_t idle_timeout_ms;  // a command line, or the next bytes of a message; 421 after (default
                               // 5 min)
    uint32_t max_sessions;     // open at once; 421 to the next (default 64)
};

extern "C" {
// Reads the port from "smtp_port" in the working directory (20025 when the
// file is missing or does not hold a number from 1 to 65535), listens on all
// IPv4 addresses and serves SMTP on threads of its own. Mails go to
// "mail_save" below the working directory of this call. 0 once it listens;
// -1 when the port cannot be bound, when `cb` is null or when the receiver
// already runs.
// When "allow_routers" exists in the working directory, a session from an
// address outside it gets "554" in place of the greeting and is closed, and
// counted as refused (base/allow_list.h; the file is read again within a
// second of a change).
int tcp_interface_SetFunc(RecvProc cb);

// Stops listening, breaks off every session (a message in progress leaves no
// file) and ends the delivering thread; records not yet handed over are
// dropped, their mails are stored. A callback in progress gets two seconds to
// return; after that its thread is left to end on its own. Not to be called
// from the callback.
void stop_tcp(void);

// Limits for the next start; null restores the defaults.
void tcp_set_limits(const tcp_limits* limits);

// The port listened on, -1 when the receiver does not run.
int tcp_bound_port(void);

// Counts of the current (or last) run.
void tcp_get_counts(tcp_counts* counts);
}
