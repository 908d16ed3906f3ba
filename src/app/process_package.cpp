#include "app/process_package.h"

#include "app/heartbeat.h"
#include "app/main.h"
#include "disk/disk_info.h"

#include "browse/tree2.h"
#include "receive/udp.h"
#include "receive/udp_proc.h"
#include "receive/warnat.h"
#include "storage/mysql_data.h"
#include "storage/spool.h"

#include <glib-unix.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <vector>
#include <thread>

namespace {

// Set once the main loop has ended: records are stored, the tree (whose
// window may be gone) is left alone.
bool quitting = false;

// Queued rows are stored together at most this long after the first of
// them arrived (and at once when a statement's worth, 500, is queued): a
// steady trickle of records costs a statement every tenth of a second, not
// one a record (each statement and tree redraw costs the main loop about a
// millisecond, whatever its size).
constexpr guint FLUSH_AFTER_MS = 100;
guint flush_timer_id = 0;

// Tree counts of handled records not yet in the tree, in arrival order (runs
// of one router and type counted together). They are put in with the rows'
// statement, every 100 ms at most, so a steady stream redraws the tree 10
// times a second instead of once a record.
struct tree_run {
    guint ip;
    guint type;
    guint n;
};
std::vector<tree_run> pending_tree;

void count_in_tree(guint ip, guint type)
{
    if (!pending_tree.empty() && pending_tree.back().ip == ip && pending_tree.back().type == type)
        ++pending_tree.back().n;
    else
        pending_tree.push_back({ip, type, 1});
}

void apply_tree_counts()
{
    if (!quitting)
        for (const tree_run& r : pending_tree)
            add_to_tree_n(r.ip, r.type, r.n);
    pending_tree.clear();
}

// Also goes on while rows wait in the spool: they are stored as soon as the
// server answers again.
gboolean flush_when_old(gpointer)
{
    if (pending_inserts() == 0 && spooled_rows() == 0 && pending_tree.empty()) {
        flush_timer_id = 0;
        return FALSE;
    }
    apply_tree_counts();
    flush_inserts();
    return TRUE;
}

void schedule_flush()
{
    if (pending_inserts() == 0 && spooled_rows() == 0 && pending_tree.empty())
        return;
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
        if (type == LOG_TYPE_EMAIL) {
            apply_tree_counts();
            if (!quitting)
                add_to_tree(record);
        } else if (!quitting) {
            count_in_tree(record->dwIP, type);
        }
        if (type != LOG_TYPE_EMAIL)
            store_record(record);
    }
}

}  // namespace

gboolean process_package(gpointer)
{
    // Takes what was handed over, for at most a few milliseconds so the
    // window stays responsive; what is left gets a dispatch of its own.
    constexpr auto BUDGET = std::chrono::milliseconds(10);
    const auto start = std::chrono::steady_clock::now();
    tagCommunicationData_ taken;
    std::size_t n = 0;
    while (take_record(&taken)) {
        handle_record(&taken);
        ++n;
        if (std::chrono::steady_clock::now() - start >= BUDGET)
            break;
    }
    stop_taking_records(n);
    schedule_flush();
    return FALSE;
}

void start_storing()
{
    // Counts made while rows were spooled are recounted from the table once
    // the spool is stored.
    program_row_store().on_drained([] {
        if (!quitting)
            rebuild_tree();
    });
    // A rebuild reads the table after storing the waiting rows, so it has
    // the records still waiting to be counted.
    tree_on_rebuilt([] { pending_tree.clear(); });
    if (spooled_rows() > 0) {
        program_row_store().replay(std::chrono::seconds(2));
        schedule_flush();
    }
}

void finish_reception()
{
    static bool finished = false;
    if (finished)
        return;
    finished = true;
    quitting = true;
    // The receiver stops on a thread of its own while this one takes what it
    // still hands over; what it has queued stays in its queue file.
    std::atomic<bool> stopped {false};
    std::thread stopper([&stopped] {
        udp_stop();
        stopped = true;
    });
    tagCommunicationData_ taken;
    while (!stopped.load())
        if (take_record_at_quit(&taken, std::chrono::milliseconds(5)))
            handle_record(&taken);
    stopper.join();
    // What was handed over before the receiver stopped.
    while (take_record_at_quit(&taken, std::chrono::milliseconds(0)))
        handle_record(&taken);
    release_receivers();
    // Stored, or spooled while the server is away.
    flush_inserts();
}

void install_ways_out()
{
    for (int sig : {SIGTERM, SIGINT})
        g_unix_signal_add(
            sig,
            +[](gpointer) -> gboolean {
                quit_main();
                return G_SOURCE_CONTINUE;
            },
            nullptr);
    disk_low_end = [] {
        finish_reception();
        report_heartbeat();
        std::exit(0);
    };
}
