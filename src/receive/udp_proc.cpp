#include "receive/udp_proc.h"

#include <condition_variable>
#include <cstring>
#include <mutex>

std::atomic<int> b_recv {1};
tagCommunicationData_ data_copy;
int b_write_over_2 = 1;

namespace {

// One record in flight: a receiver holds `handover` from its copy until the
// main loop is done with the record; `flag` guards b_write_over_2.
std::mutex handover;
std::mutex flag;
std::condition_variable flag_changed;
bool receivers_released = false;
GSourceFunc record_processor = nullptr;
// The main loop is inside the processor and takes the next record itself,
// without a new idle dispatch (and redraw) for every record of a burst.
bool processor_active = false;
// Set when a record was handed to the active processor: lets the processor
// see it without sleeping for the short turnaround of the receiver.
std::atomic<bool> record_for_processor {false};

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
        record_for_processor.store(true, std::memory_order_release);
        lock.unlock();
        flag_changed.notify_all();
        lock.lock();
    } else {
        processor_active = true;
        g_idle_add(record_processor, &data_copy);
    }
    flag_changed.wait(lock, [] { return b_write_over_2 != 0 || receivers_released; });
}

tagCommunicationData_* take_next_record(std::chrono::microseconds wait)
{
    // The receiver hands the next record of a burst over within microseconds:
    // look for it a little while before sleeping.
    const auto spin_end = std::chrono::steady_clock::now() + std::chrono::microseconds(40);
    while (!record_for_processor.load(std::memory_order_acquire)
           && std::chrono::steady_clock::now() < spin_end) {
    }
    std::unique_lock lock(flag);
    if (flag_changed.wait_for(lock, wait, [] { return b_write_over_2 == 0 || receivers_released; })
        && !receivers_released) {
        record_for_processor.store(false, std::memory_order_relaxed);
        return &data_copy;
    }
    processor_active = false;
    return nullptr;
}

void stop_taking_records()
{
    std::lock_guard lock(flag);
    record_for_processor.store(false, std::memory_order_relaxed);
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
