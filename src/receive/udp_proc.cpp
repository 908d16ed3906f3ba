#include "receive/udp_proc.h"

#include <condition_variable>
#include <cstring>
#include <mutex>

std::atomic<int> b_recv {1};
tagCommunicationData_ data_copy;
std::atomic<int> b_write_over_2 {1};

namespace {

// One record in flight: a receiver holds `handover` from its copy until the
// main loop has taken the record; `flag` orders the changes of b_write_over_2
// with the waits on `flag_changed`.
std::mutex handover;
std::mutex flag;
std::condition_variable flag_changed;
bool receivers_released = false;
GSourceFunc record_processor = nullptr;
// The main loop is inside the processor and takes the next record itself,
// without a new idle dispatch (and redraw) for every record of a burst.
bool processor_active = false;
// How long the main loop looks for the next record of a burst before it
// sleeps. The receiver itself sleeps at once: while it would look, the main
// loop is mostly busy with the record before.
constexpr auto NEXT_SPIN = std::chrono::microseconds(100);

void cpu_relax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

}  // namespace

void set_record_processor(GSourceFunc processor) { record_processor = processor; }

void finish_handover()
{
    {
        std::lock_guard lock(flag);
        b_write_over_2 = 1;
    }
    flag_changed.notify_all();
}

bool accepted_log_type(guint32 type)
{
    return type == LOG_TYPE_WEB || type == LOG_TYPE_CONFIG || type == LOG_TYPE_ATTACK
           || type == LOG_TYPE_OTHERS || type == LOG_TYPE_EMAIL;
}

extern "C" void MyRecvProc(tagCommunicationData_* pData) { RecvProc_2(pData); }

extern "C" void MyRecvProc_tcp(tagCommunicationData_* pData) { RecvProc_2(pData); }

void RecvProc_2(tagCommunicationData_* pData)
{
    if (!b_recv || !record_processor)
        return;
    std::lock_guard serial(handover);
    std::unique_lock lock(flag);
    if (receivers_released)
        return;
    std::memcpy(&data_copy, pData, sizeof data_copy);
    tagImpMsg_& msg = data_copy.msg.impMsg;
    msg.cLogUser[sizeof msg.cLogUser - 1] = '\0';
    msg.cLogContent[sizeof msg.cLogContent - 1] = '\0';
    msg.cLogNote[sizeof msg.cLogNote - 1] = '\0';
    b_write_over_2 = 0;
    if (processor_active) {
        lock.unlock();
        flag_changed.notify_all();
    } else {
        processor_active = true;
        g_idle_add(record_processor, &data_copy);
        lock.unlock();
    }
    lock.lock();
    flag_changed.wait(lock, [] { return b_write_over_2 != 0 || receivers_released; });
}

tagCommunicationData_* handed_over_record()
{
    std::lock_guard lock(flag);
    if (b_write_over_2 == 0 && !receivers_released)
        return &data_copy;
    processor_active = false;  // taken meanwhile (at quit)
    return nullptr;
}

tagCommunicationData_* take_record_at_quit(std::chrono::microseconds wait)
{
    std::unique_lock lock(flag);
    // Later hand-overs wait for this loop instead of an idle dispatch.
    processor_active = true;
    if (flag_changed.wait_for(lock, wait, [] { return b_write_over_2 == 0 || receivers_released; })
        && !receivers_released)
        return &data_copy;
    return nullptr;
}

tagCommunicationData_* take_next_record(std::chrono::microseconds wait)
{
    // Called while the receiver has more records queued: the next one comes
    // within microseconds, so look for it briefly before sleeping.
    const auto spin_end = std::chrono::steady_clock::now() + NEXT_SPIN;
    while (b_write_over_2.load(std::memory_order_acquire) != 0
           && std::chrono::steady_clock::now() < spin_end)
        cpu_relax();
    std::unique_lock lock(flag);
    if (flag_changed.wait_for(lock, wait, [] { return b_write_over_2 == 0 || receivers_released; })
        && !receivers_released)
        return &data_copy;
    processor_active = false;
    return nullptr;
}

void stop_taking_records()
{
    std::lock_guard lock(flag);
    if (b_write_over_2 == 0 && !receivers_released)
        g_idle_add(record_processor, &data_copy);  // a record came in meanwhile
    else
        processor_active = false;
}

void release_receivers()
{
    {
        std::lock_guard lock(flag);
        receivers_released = true;
    }
    flag_changed.notify_all();
}
