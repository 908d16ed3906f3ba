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
    g_idle_add(record_processor, &data_copy);
    flag_changed.wait(lock, [] { return b_write_over_2 != 0 || receivers_released; });
}

void release_receivers()
{
    {
        std::lock_guard lock(flag);
        receivers_released = true;
    }
    flag_changed.notify_all();
}
