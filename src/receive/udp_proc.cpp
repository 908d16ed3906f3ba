#include "receive/udp_proc.h"

#include "browse/tree2.h"
#include "receive/udp.h"
#include "receive/warnat.h"
#include "storage/mysql_data.h"

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

// Queued rows are stored once the main loop has nothing else to do and the
// receiver has nothing queued, or when they are this old.
constexpr guint FLUSH_AFTER_MS = 20;
guint flush_idle_id = 0;
guint flush_timer_id = 0;

void finish_handover()
{
    {
        std::lock_guard lock(flag);
        b_write_over_2 = 1;
    }
    flag_changed.notify_all();
}

bool receiver_has_backlog()
{
    udp_counts c {};
    if (!udp_counts_get(&c))
        return false;
    return c.received > c.delivered + c.dropped_full + c.malformed;
}

gboolean flush_when_quiet(gpointer)
{
    flush_idle_id = 0;
    if (!receiver_has_backlog() || pending_age_ms() >= FLUSH_AFTER_MS)
        flush_inserts();
    return FALSE;
}

gboolean flush_when_old(gpointer)
{
    if (pending_inserts() == 0) {
        flush_timer_id = 0;
        return FALSE;
    }
    if (pending_age_ms() >= FLUSH_AFTER_MS)
        flush_inserts();
    return TRUE;
}

void schedule_flush()
{
    if (pending_inserts() == 0)
        return;
    if (!flush_idle_id)
        flush_idle_id = g_idle_add_full(G_PRIORITY_LOW, flush_when_quiet, nullptr, nullptr);
    if (!flush_timer_id)
        flush_timer_id = g_timeout_add(FLUSH_AFTER_MS, flush_when_old, nullptr);
}

void store_record(tagCommunicationData_* record)
{
    char* content = record->msg.impMsg.cLogContent;
    if (has_warnat(content)) {
        insert_new_to_sql_js_2(record, repair_warnat(content), 0);
    } else {
        insert_new_to_sql_js_2(record, 1);
    }
}

}  // namespace

bool accepted_log_type(guint32 type)
{
    return type == LOG_TYPE_WEB || type == LOG_TYPE_CONFIG || type == LOG_TYPE_ATTACK
           || type == LOG_TYPE_OTHERS || type == LOG_TYPE_EMAIL;
}

extern "C" void MyRecvProc(tagCommunicationData_* pData) { RecvProc_2(pData); }

extern "C" void MyRecvProc_tcp(tagCommunicationData_* pData) { RecvProc_2(pData); }

void RecvProc_2(tagCommunicationData_* pData)
{
    if (!b_recv)
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
    g_idle_add(process_package, &data_copy);
    flag_changed.wait(lock, [] { return b_write_over_2 != 0 || receivers_released; });
}

gboolean process_package(gpointer pData)
{
    auto* record = static_cast<tagCommunicationData_*>(pData);
    guint32 type = record->msg.impMsg.dwLogType;
    if (accepted_log_type(type)) {
        add_to_tree(record);
        if (type != LOG_TYPE_EMAIL)
            store_record(record);
    }
    finish_handover();
    schedule_flush();
    return FALSE;
}

void release_receivers()
{
    {
        std::lock_guard lock(flag);
        receivers_released = true;
    }
    flag_changed.notify_all();
}
