// Times the start-up tree fill and single pages of the record list on a
// large LogTab. Usage: browse_bench PORT ROWS ROUTERS
// Fills LogTab with ROWS rows over ROUTERS routers and the four log types
// unless it already holds exactly that many, then prints the figures.
#include "browse/button_wnd_list.h"
#include "browse/list_data.h"
#include "browse/set_list_data.h"
#include "browse/tree2.h"
#include "storage/mysql_ctrl.h"
#include "storage/page_set.h"

#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

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

bool load(unsigned long rows, unsigned routers)
{
    if (get_sql_counter("select * from LogTab") == static_cast<long long>(rows))
        return true;
    std::printf("loading %lu rows...\n", rows);
    std::fflush(stdout);
    auto t0 = clock_type::now();
    exe_sql("truncate table LogTab");
    exe_sql("set session unique_checks = 0");
    // Row n (from 1): router (n-1) % routers, type cycling through 1 3 4 5
    // per round of routers, ten rows a second.
    const std::string r = std::to_string(routers);
    const std::string sql =
        "insert into LogTab (dwIP, dwLogType, dwSourceIP, cLogUser, cLogContent, cLogNote, time, "
        "cLogContent_chinese, cLogContent_fanti, cLogContent_en) "
        "select 43200 + (((seq - 1) % " + r + ") div 250) * 65536 + "
        "(((seq - 1) % " + r + ") % 250 + 1) * 16777216, "
        "elt(((seq - 1) div " + r + ") % 4 + 1, 1, 3, 4, 5), 167772161 + seq % 1000, 'admin', "
        "concat('url http://example.test/', seq), '', 1700000000 + seq div 10, "
        "concat('访问 ', seq), concat('訪問 ', seq), concat('visit ', seq) "
        "from seq_1_to_" + std::to_string(rows);
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
    std::printf("peak RSS: %ld MB before the tree fill, %ld MB at the end\n", rss_before,
                peak_rss_mb());
    return 0;
}
