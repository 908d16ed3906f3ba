// Hand-over of received records from the receiver modules' threads to the
// main loop, where they are shown in the device tree and stored.
#pragma once

#include "base/record.h"

#include <glib.h>

#include <atomic>
#include <chrono>
#include <cstddef>

// Reception open (1) or closed (0); closed drops every record.
extern std::atomic<int> b_recv;

// Records handed over and not yet taken by the main loop, at most this many:
// a receiver waits only while the hand-over is full, so the main loop takes
// the records of a burst without a thread switch for each of them.
inline constexpr std::size_t HANDOVER_CAPACITY = 1024;

// How long after the first record reaches an idle hand-over the main loop
// takes it, with whatever came meanwhile: a steady stream wakes the main loop
// about 100 times a second instead of once a record. After a dispatch that
// took HANDOVER_BUSY records or more the stream is fast, and the next record
// is taken at once.
inline constexpr guint HANDOVER_GATHER_MS = 10;
inline constexpr std::size_t HANDOVER_BUSY = 64;

// Callbacks of the UDP and the mail receiver modules.
extern "C" void MyRecvProc(tagCommunicationData_* pData);
extern "C" void MyRecvProc_tcp(tagCommunicationData_* pData);

// Copies one record into the hand-over (with its texts terminated) and
// returns; waits only while the hand-over is full. The record processor is
// queued on the main loop when the first record reaches an idle hand-over.
// Records of one receiver are taken in the order it handed them over.
// Never call it on the main loop's thread.
void RecvProc_2(tagCommunicationData_* pData);

// Sets the callback queued on the main loop for handed-over records
// (process_package): it takes them with take_record() and ends with
// stop_taking_records(). Called once at start-up before the receivers start.
void set_record_processor(GSourceFunc processor);

// For the processor: moves the oldest handed-over record to *out; false when
// none is left.
bool take_record(tagCommunicationData_* out);

// For the processor as it returns, with the number of records it took:
// records handed over meanwhile, or left for want of time, get a dispatch of
// their own; otherwise the next record queues one.
void stop_taking_records(std::size_t taken);

// At quit, after the main loop ended: moves the oldest handed-over record to
// *out, waiting up to `wait` for one; false when none came. No dispatch is
// queued for records from then on.
bool take_record_at_quit(tagCommunicationData_* out, std::chrono::microseconds wait);

// Whether a type code is taken in (1, 3, 4, 5 and 144).
bool accepted_log_type(guint32 type);

// Releases receivers waiting in RecvProc_2 and refuses new hand-overs; used
// at quit, after the receivers stopped (a record handed over later is not
// taken).
void release_receivers();
