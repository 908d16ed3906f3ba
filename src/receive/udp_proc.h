// Hand-over of received records from the receiver modules' threads to the
// main loop, where they are shown in the device tree and stored.
#pragma once

#include "base/record.h"

#include <glib.h>

#include <atomic>
#include <chrono>

// Reception open (1) or closed (0); closed drops every record.
extern std::atomic<int> b_recv;

// The one hand-over buffer, and the flag that is 1 once the main loop has
// taken the record out of it.
extern tagCommunicationData_ data_copy;
extern std::atomic<int> b_write_over_2;

// Callbacks of the UDP and the mail receiver modules.
extern "C" void MyRecvProc(tagCommunicationData_* pData);
extern "C" void MyRecvProc_tcp(tagCommunicationData_* pData);

// Copies one record into the hand-over buffer, queues process_package on
// the main loop and waits until the main loop has taken it. Receivers
// calling in at the same time wait their turn. Never call it on the main
// loop's thread.
void RecvProc_2(tagCommunicationData_* pData);

// Sets the idle callback that RecvProc_2 queues for each record
// (process_package); it must call finish_handover() once it has taken the
// record out of data_copy. Called once at start-up before the receivers
// start.
void set_record_processor(GSourceFunc processor);

// Tells the waiting receiver that the main loop has taken the record out of
// data_copy, which is free for the next one.
void finish_handover();

// For the processor, after finish_handover: the next handed-over record if
// one arrives within `wait` (it is then the processor's to handle), else null
// and later records get an idle dispatch of their own again.
tagCommunicationData_* take_next_record(std::chrono::microseconds wait);

// For a processor that stops taking records while it may still have one
// waiting: a record already handed over gets a dispatch of its own.
void stop_taking_records();

// For the processor at its start: the record in the hand-over buffer, or
// null when there is none (it was taken otherwise, at quit).
tagCommunicationData_* handed_over_record();

// At quit, after the main loop ended: the next handed-over record if one
// comes within `wait`, else null. The caller copies it and calls
// finish_handover(); no idle dispatch is queued for records meanwhile.
tagCommunicationData_* take_record_at_quit(std::chrono::microseconds wait);

// Whether a type code is taken in (1, 3, 4, 5 and 144).
bool accepted_log_type(guint32 type);

// Releases receivers waiting in RecvProc_2 and refuses new hand-overs; used
// at quit.
void release_receivers();
