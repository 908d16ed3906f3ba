#include "app/process_package.h"

#include "browse/tree2.h"
#include "receive/udp.h"
#include "receive/udp_proc.h"
#include "receive/warnat.h"
#include "storage/mysql_data.h"

namespace {

// Queued rows are stored once the main loop has nothing else to do and the
// receiver has nothing queued, or when they are this old.
constexpr guint FLUSH_AFTER_MS = 20;
guint flush_idle_id = 0;
guint flush_timer_id = 0;

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
    if (has_warnat(content))
        insert_new_to_sql_js_2(record, repair_warnat(content), 0);
    else
        insert_new_to_sql_js_2(record, 1);
}

void handle_record(tagCommunicationData_* record)
{
    guint32 type = record->msg.impMsg.dwLogType;
    if (accepted_log_type(type)) {
        add_to_tree(record);
        if (type != LOG_TYPE_EMAIL)
            store_record(record);
    }
}

}  // namespace

gboolean process_package(gpointer pData)
{
    // A burst is taken record after record in one dispatch, one record in
    // the hand-over buffer at a time, for at most a few milliseconds so the
    // window stays responsive. Each record is taken out of the buffer before
    // it is handled, so the receiver fetches the next one meanwhile instead
    // of waking only once this one is stored.
    constexpr auto BUDGET = std::chrono::milliseconds(20);
    constexpr auto NEXT_WAIT = std::chrono::milliseconds(2);
    const auto start = std::chrono::steady_clock::now();
    auto* record = static_cast<tagCommunicationData_*>(pData);
    tagCommunicationData_ taken;
    for (;;) {
        taken = *record;
        finish_handover();
        handle_record(&taken);
        if (std::chrono::steady_clock::now() - start >= BUDGET) {
            stop_taking_records();
            break;
        }
        record = take_next_record(NEXT_WAIT);
        if (!record)
            break;
    }
    schedule_flush();
    return FALSE;
}
