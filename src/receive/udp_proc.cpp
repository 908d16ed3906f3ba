#include "receive/udp_proc.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

std::atomic<int> b_recv {1};

namespace {

// The hand-over: a ring of HANDOVER_CAPACITY records that the receivers fill
// and the main loop empties, all under `guard`.
class handover_ring {
public:
    handover_ring() : slots_(HANDOVER_CAPACITY) { }

    bool full() const { return count_ == slots_.size(); }
    bool empty() const { return count_ == 0; }

    // The record's copy in the ring.
    tagCommunicationData_& push(const tagCommunicationData_& r)
    {
        tagCommunicationData_& slot = slots_[(head_ + count_) % slots_.size()];
        slot = r;
        ++count_;
        return slot;
    }

    void pop(tagCommunicationData_* out)
    {
        *out = slots_[head_];
        head_ = (head_ + 1) % slots_.size();
        --count_;
    }

private:
    std::vector<tagCommunicationData_> slots_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

std::mutex guard;
std::condition_variable room;     // a full ring got a free slot, or release
std::condition_variable arrived;  // a record came while the quit takes them
handover_ring ring;
bool receivers_released = false;
bool quit_taking = false;
// A dispatch of the processor is queued or running: later records wait for
// it instead of queuing their own.
bool dispatch_queued = false;
// The last dispatch took a fast stream's worth: no gathering for the next.
bool stream_busy = false;
GSourceFunc record_processor = nullptr;

void terminate_texts(tagCommunicationData_& r)
{
    tagImpMsg_& msg = r.msg.impMsg;
    msg.cLogUser[sizeof msg.cLogUser - 1] = '\0';
    msg.cLogContent[sizeof msg.cLogContent - 1] = '\0';
    msg.cLogNote[sizeof msg.cLogNote - 1] = '\0';
}

// Under `guard`: the processor runs once on the main loop, after the gather
// time when a record opens a burst, at once when it goes on with one.
void queue_dispatch(guint delay_ms)
{
    dispatch_queued = true;
    if (delay_ms == 0)
        g_idle_add(record_processor, nullptr);
    else
        g_timeout_add(delay_ms, record_processor, nullptr);
}

// With `guard` held by `lock`: moves the oldest record to *out, then lets go
// of the lock and wakes receivers waiting for room. False when none is left.
bool pop_and_release(std::unique_lock<std::mutex>& lock, tagCommunicationData_* out)
{
    if (ring.empty())
        return false;
    const bool was_full = ring.full();
    ring.pop(out);
    lock.unlock();
    if (was_full)
        room.notify_all();
    return true;
}

}  // namespace

void set_record_processor(GSourceFunc processor) { record_processor = processor; }

bool accepted_log_type(guint32 type)
{
    return type == LOG_TYPE_WEB || type == LOG_TYPE_CONFIG || type == LOG_TYPE_ATTACK ||
        type == LOG_TYPE_OTHERS || type == LOG_TYPE_EMAIL;
}

extern "C" void MyRecvProc(tagCommunicationData_* pData) { RecvProc_2(pData); }

extern "C" void MyRecvProc_tcp(tagCommunicationData_* pData) { RecvProc_2(pData); }

void RecvProc_2(tagCommunicationData_* pData)
{
    if (!b_recv || !record_processor)
        return;
    std::unique_lock lock(guard);
    room.wait(lock, [] { return !ring.full() || receivers_released; });
    if (receivers_released)
        return;
    // The main loop's copy: its texts end within their fields.
    terminate_texts(ring.push(*pData));
    if (quit_taking) {
        arrived.notify_all();
    } else if (!dispatch_queued) {
        queue_dispatch(stream_busy ? 0 : HANDOVER_GATHER_MS);
    }
}

bool take_record(tagCommunicationData_* out)
{
    std::unique_lock lock(guard);
    return pop_and_release(lock, out);
}

void stop_taking_records(std::size_t taken)
{
    std::lock_guard lock(guard);
    dispatch_queued = false;
    stream_busy = taken >= HANDOVER_BUSY;
    if (!ring.empty() && !quit_taking && !receivers_released)
        queue_dispatch(0);
}

bool take_record_at_quit(tagCommunicationData_* out, std::chrono::microseconds wait)
{
    std::unique_lock lock(guard);
    quit_taking = true;
    arrived.wait_for(lock, wait, [] { return !ring.empty() || receivers_released; });
    return pop_and_release(lock, out);
}

void release_receivers()
{
    {
        std::lock_guard lock(guard);
        receivers_released = true;
    }
    room.notify_all();
    arrived.notify_all();
}
