// A stand-in receiver module for the loader tests, copied under the names
// "tcp_dll.dll" and "udp.so": its start entries return the number in
// FAKE_RECEIVER_RESULT.
#include "base/record.h"

#include <cstdlib>

namespace {
int start(RecvProc)
{
    const char* result = std::getenv("FAKE_RECEIVER_RESULT");
    return result ? std::atoi(result) : 0;
}
}  // namespace

extern "C" {
int tcp_interface_SetFunc(RecvProc cb) { return start(cb); }
int start_udp(RecvProc cb) { return start(cb); }
}
