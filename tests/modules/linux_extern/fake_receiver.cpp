// A stand-in receiver module for the loader tests, copied under the names
// "tcp_dll.dll" and "udp.so". Its start entries return the number in
// FAKE_RECEIVER_RESULT and remember the callback they were given.
#include "base/record.h"
#include "base/udp_counts.h"

#include <cstdlib>

namespace {
RecvProc callback = nullptr;
int stops = 0;

int start(RecvProc cb)
{
    callback = cb;
    const char* result = std::getenv("FAKE_RECEIVER_RESULT");
    return result ? std::atoi(result) : 0;
}
}  // namespace

extern "C" {
int tcp_interface_SetFunc(RecvProc cb) { return start(cb); }
int start_udp(RecvProc cb) { return start(cb); }
void stop_udp(void) { ++stops; }
void udp_get_counts(udp_counts* c)
{
    *c = udp_counts {};
    c->received = 7;
    c->delivered = 5;
}

RecvProc fake_receiver_callback(void) { return callback; }
int fake_receiver_stops(void) { return stops; }
}
