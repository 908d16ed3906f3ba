// The record both receiver modules hand to the program: 624 bytes,
// little-endian, fixed offsets.
#pragma once

#include <cstddef>
#include <cstdint>

struct tagImpMsg_ {
    uint32_t dwLogType;     // log type code
    uint32_t dwSourceIP;    // source address named in the log, first octet in the high byte
    char cLogUser[32];      // NUL-terminated
    char cLogContent[512];  // NUL-terminated
    char cLogNote[64];      // NUL-terminated
};

union tagMsg_ {
    tagImpMsg_ impMsg;
    char c;
};

struct tagCommunicationData_ {
    tagMsg_ msg;
    uint32_t dwIP;  // sending router, first octet in the low byte
    uint32_t wnd;   // not read by the program
};

static_assert(sizeof(tagCommunicationData_) == 624);
static_assert(offsetof(tagCommunicationData_, msg.impMsg.cLogUser) == 8);
static_assert(offsetof(tagCommunicationData_, msg.impMsg.cLogContent) == 40);
static_assert(offsetof(tagCommunicationData_, msg.impMsg.cLogNote) == 552);
static_assert(offsetof(tagCommunicationData_, dwIP) == 616);

// Callback a receiver module calls once per record, on a thread of its own.
// The module may reuse the record's memory once the callback returns.
extern "C" typedef void (*RecvProc)(tagCommunicationData_* pData);

// Log type codes.
enum : uint32_t {
    LOG_TYPE_WEB = 1,
    LOG_TYPE_CONFIG = 3,
    LOG_TYPE_ATTACK = 4,
    LOG_TYPE_OTHERS = 5,
    LOG_TYPE_ROUTER = 128,  // marks router rows; all types of a router
    LOG_TYPE_EMAIL = 144,
};
