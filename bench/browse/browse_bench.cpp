// Times the start-up tree fill, single pages of the record list and the
// filter on a large LogTab. Usage: browse_bench PORT ROWS ROUTERS
// Fills LogTab with ROWS rows over ROUTERS routers and the four log types
// unless it already holds them so, then prints the figures.
#include "browse/button_wnd_list.h"
#include "browse/list_data.h"
#include "browse/set_list_data.h"
#include "browse/tree2.h"
#include "filter/filter_query.h"
#include "filter/filter_statement.h"
#include "storage/mysql_ctrl.h"
#include "storage/page_set.h"

#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include <sys/resource.h>

namespace {

using clock_type = std::chrono::steady_clock;

double ms_since(clock_type::time_point t0)
{
    return std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
}

long peak_rss_mb()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

// Router r (0-based) is 192.168.(r / 250).(r % 250 + 1), first octet in the
// low byte as the receivers deliver it.
unsigned router_ip(unsigned r) { return 0xA8C0u | ((r / 250) << 16) | ((r % 250 + 1) << 24); }

// Rows of router 0, the largest (a tenth of the slots of each round), and
// of router 1 (one slot a round); the others share the rest evenly.
unsigned big_slots(unsigned routers) { return routers / 10; }
unsigned long rows_of_router_1(unsigned long rows, unsigned routers) { return rows / routers; }
unsigned long rows_of_router_0(unsigned long rows, unsigned routers)
{
    return rows / routers * big_slots(routers);
}

long long rows_of(unsigned ip) { return get_sql_counter(list_statement(ip, 128)); }

// The note of every row, so that a table of an earlier layout is filled anew.
constexpr const char* LAYOUT_NOTE = "bench-2";

bool load(unsigned long rows, unsigned routers)
{
    if (get_sql_counter("select * from LogTab") == static_cast<long long>(rows) &&
        get_sql_counter(std::string("select * from LogTab where id_inc = 1 and cLogNote = '") +
                        LAYOUT_NOTE + "'") == 1 &&
        rows_of(router_ip(0)) == static_cast<long long>(rows_of_router_0(rows, routers)) &&
        rows_of(router_ip(1)) == static_cast<long long>(rows_of_router_1(rows, routers)))
        return true;
    std::printf("loading %lu rows...\n", rows);
    std::fflush(stdout);
    auto t0 = clock_type::now();
    exe_sql("truncate table LogTab");
    exe_sql("set session unique_checks = 0");
    // Row n (from 1) takes slot (n-1) % routers of round (n-1) / routers:
    // slot 0 goes to router 1, the next routers/10 slots to router 0, the
    // others to routers 2 and on in turn. The type cycles through 1 3 4 5
    // by round; the user (one of four), the source address (one of 1,000)
    // and a code 0 to 99 at the end of the texts follow a hash of n, so
    // that they do not repeat with the slot. Ten rows a second.
    std::string sql =
        "insert into LogTab (dwIP, dwLogType, dwSourceIP, cLogUser, cLogContent, cLogNote, time, "
        "cLogContent_chinese, cLogContent_fanti, cLogContent_en) "
        "select 43200 + (k div 250) * 65536 + (k % 250 + 1) * 16777216, "
        "elt(rnd % 4 + 1, 1, 3, 4, 5), 167772161 + (h div 400) % 1000, "
        "elt((h div 100) % 4 + 1, 'admin', 'guest', 'operator', 'service'), "
        "concat('url http://example.test/', seq), '{NOTE}', 1700000000 + seq div 10, "
        "concat('访问 ', seq, ' 代码 ', h % 100), concat('訪問 ', seq, ' 代碼 ', h % 100), "
        "concat('visit ', seq, ' code ', h % 100) "
        "from (select seq, crc32(seq) as h, (seq - 1) div {R} as rnd, "
        "case when (seq - 1) % {R} = 0 then 1 when (seq - 1) % {R} <= {B} then 0 "
        "else 2 + (((seq - 1) div {R}) * {O} + (seq - 1) % {R} - 1 - {B}) % ({R} - 2) end as k "
        "from seq_1_to_{N}) s";
    const std::pair<const char*, unsigned long> values[] = {
        {"{R}", routers},
        {"{B}", big_slots(routers)},
        {"{O}", routers - 1 - big_slots(routers)},
        {"{N}", rows}};
    for (const auto& [name, value] : values)
        for (std::size_t at; (at = sql.find(name)) != std::string::npos;)
            sql.replace(at, 3, std::to_string(value));
    sql.replace(sql.find("{NOTE}"), 6, LAYOUT_NOTE);
    if (exe_sql(sql.c_str()) != 0) {
        std::fprintf(stderr, "bulk load failed: %s\n", mysql_error(mysql));
        return false;
    }
    std::printf("loaded in %.1f s\n", ms_since(t0) / 1000);
    return true;
}

double time_first_page(unsigned ip, unsigned type)
{
    auto t0 = clock_type::now();
    sql_to_list(ip, type);
    return ms_since(t0);
}

// Page `page` (from 1) through the next-page path of the list.
double time_page(unsigned page, guint* rows)
{
    current_pag = (page - 2) * PAGE_ROWS;
    auto t0 = clock_type::now();
    std::string sql;
    sql_next_page(sql);
    sql_to_list_cmd(sql, rows);
    return ms_since(t0);
}

std::string dotted(unsigned ip)
{
    return std::to_string(ip & 0xFF) + "." + std::to_string((ip >> 8) & 0xFF) + "." +
        std::to_string((ip >> 16) & 0xFF) + "." + std::to_string(ip >> 24);
}

// The filter action's statements on router ip (all types): its first page
// into the list, page 100 through the next-page path, and the count.
void time_filter(unsigned ip, const char* what, filter_inputs in)
{
    in.base = list_statement(ip, 128);
    const std::string statement = filter_statement(in, mysql);
    for (int run = 1; run <= 2; ++run) {
        reset_page();
        std::string paged = statement;
        sql_get_page(paged);
        guint first_rows = 0, rows_100 = 0;
        auto t0 = clock_type::now();
        int rc = sql_to_list_cmd(paged, &first_rows);
        const double first = ms_since(t0);
        const double p100 = time_page(100, &rows_100);
        t0 = clock_type::now();
        const filter_count c = count_filter_matches(statement);
        const double count = ms_since(t0);
        std::printf(
            "  %-28s run %d: first page %7.1f ms (%2u rows%s), page 100 %7.1f ms (%2u rows), "
            "count %7.1f ms (%lld)%s\n",
            what, run, first, first_rows, rc ? ", failed" : "", p100, rows_100, count, c.count,
            c.failure == filter_failure::none ? "" : " failed");
    }
}

void time_filters(unsigned ip, unsigned day_start)
{
    std::printf("filter on router %s (%lld rows):\n", dotted(ip).c_str(), rows_of(ip));
    filter_inputs user;
    user.user = "admin";
    time_filter(ip, "user admin", user);
    filter_inputs source;
    source.source_ip = "10.0.0.5";
    time_filter(ip, "source ip 10.0.0.5", source);
    filter_inputs day;
    day.start_on = day.end_on = true;
    day.start = day_start;
    day.end = day_start + 86399;
    time_filter(ip, "time range of one day", day);
    filter_inputs content;
    content.content = "code 4";
    time_filter(ip, "content code 4", content);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PORT ROWS ROUTERS\n", argv[0]);
        return 2;
    }
    gtk_init(&argc, &argv);
    db_settings s;
    s.host = "127.0.0.1";
    s.user = "root";
    s.port = static_cast<unsigned>(std::atoi(argv[1]));
    const unsigned long rows = std::strtoul(argv[2], nullptr, 10);
    const unsigned routers = static_cast<unsigned>(std::atoi(argv[3]));
    if (connect_mysql(s) != 0) {
        std::fprintf(stderr, "cannot connect: %s\n", mysql_error(mysql));
        return 1;
    }
    open_schema();
    if (!load(rows, routers))
        return 1;

    init_tree_2();
    init_button_wnd_list();
    InitTreeView();
    const long rss_before = peak_rss_mb();

    for (int run = 1; run <= 3; ++run) {
        RemoveAll_tree();
        auto t0 = clock_type::now();
        sql_to_tree();
        double ms = ms_since(t0);
        int top = gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr);
        std::printf("tree fill (run %d): %.0f ms, %d routers\n", run, ms, top);
    }

    // The reception path: one record at a time into the filled tree.
    {
        const unsigned n = 1000000;
        tagCommunicationData_ r {};
        auto t0 = clock_type::now();
        for (unsigned i = 0; i < n; ++i) {
            r.dwIP = router_ip(i % routers);
            r.msg.impMsg.dwLogType = (i / routers) % 2 ? 1 : 4;
            add_to_tree(&r);
        }
        std::printf("add_to_tree: %.2f us a record over %u routers\n", ms_since(t0) * 1000 / n,
                    routers);
    }

    // Pages of routers not read before (cold), then of the first again.
    const unsigned picks[3][2] = {{routers / 2, 4u}, {routers / 3, 128u}, {routers / 2, 4u}};
    for (const auto& pick : picks) {
        const unsigned ip = router_ip(pick[0]);
        const unsigned type = pick[1];
        guint n = 0;
        double first = time_first_page(ip, type);
        unsigned first_rows = static_cast<unsigned>(index_list);
        double p500 = time_page(500, &n);
        std::printf("router %u.%u.%u.%u type %u: first page %.1f ms (%u rows), "
                    "page 500 %.1f ms (%u rows, numbers from %u)\n",
                    ip & 0xFF, (ip >> 8) & 0xFF, (ip >> 16) & 0xFF, ip >> 24, type, first,
                    first_rows, p500, n, current_pag + 1);
    }
    // The filter on a router of rows / routers rows and on the largest, over
    // a day in the middle of the stored time range.
    const unsigned day_start = 1700000000u + static_cast<unsigned>(rows / 10 / 2);
    time_filters(router_ip(1), day_start);
    time_filters(router_ip(0), day_start);

    std::printf("peak RSS: %ld MB before the tree fill, %ld MB at the end\n", rss_before,
                peak_rss_mb());
    return 0;
}
