// Times the export job's worker (the program's own export path, without
// the dialogs): workbooks and PDF together, for a router with 100,000 and
// one with 1,000,000 matching records.
// Usage: export_bench PORT [ROWS...]   (default 100000 1000000)
// Fills LogTab with one router per size unless it already holds them,
// then exports each router's records into a temporary folder and prints
// elapsed time, records a second, CPU time and the peak memory above the
// process's idle size.
#include "companion/extern.h"
#include "exports/export_job.h"
#include "storage/mysql_ctrl.h"
#include "storage/page_set.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using clock_type = std::chrono::steady_clock;

long status_kb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    return -1;
}

// Forgets the peak so far: VmHWM starts again from the current size.
void reset_peak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double cpu_seconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Router of the i-th size: 10.0.0.(i + 1), first octet in the low byte.
unsigned router_ip(unsigned i) { return 10u | ((i + 1) << 24); }

bool load(const std::vector<unsigned long>& sizes)
{
    bool ok = true;
    for (unsigned i = 0; i < sizes.size(); ++i)
        ok = ok &&
            get_sql_counter(list_statement(router_ip(i), 128)) == static_cast<long long>(sizes[i]);
    if (ok)
        return true;
    exe_sql("truncate table LogTab");
    for (unsigned i = 0; i < sizes.size(); ++i) {
        std::printf("loading %lu rows...\n", sizes[i]);
        std::fflush(stdout);
        auto t0 = clock_type::now();
        // Types cycling 1 3 4 5, ten records a second, a thousand sources.
        const std::string sql = "insert into LogTab (dwIP, dwLogType, dwSourceIP, cLogUser, "
                                "cLogContent, cLogNote, time, "
                                "cLogContent_chinese, cLogContent_fanti, cLogContent_en) select " +
            std::to_string(router_ip(i)) +
            ", elt(seq % 4 + 1, 1, 3, 4, 5), 167772161 + seq % 1000, concat('user', seq % 50), "
            "concat('url http://example.test/page/', seq), '', 1700000000 + seq div 10, "
            "concat('访问网站 http://example.test/page/', seq), concat('訪問網站 "
            "http://example.test/page/', seq), "
            "concat('visit http://example.test/page/', seq) from seq_1_to_" +
            std::to_string(sizes[i]);
        if (exe_sql(sql.c_str()) != 0) {
            std::fprintf(stderr, "bulk load failed: %s\n", mysql_error(mysql));
            return false;
        }
        std::printf("loaded in %.1f s\n",
                    std::chrono::duration<double>(clock_type::now() - t0).count());
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PORT [ROWS...]\n", argv[0]);
        return 2;
    }
    std::vector<unsigned long> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(std::strtoul(argv[i], nullptr, 10));
    if (sizes.empty())
        sizes = {100000, 1000000};

    db_settings s;
    s.host = "127.0.0.1";
    s.user = "root";
    s.port = static_cast<unsigned>(std::atoi(argv[1]));
    if (connect_mysql(s) != 0) {
        std::fprintf(stderr, "cannot connect: %s\n", mysql_error(mysql));
        return 1;
    }
    open_schema();
    if (!load(sizes))
        return 1;

    // The Excel module, opened from the run directory as the program does.
    const fs::path start = fs::current_path();
    fs::current_path(RUN_DIR);
    if (!init_vc_excel()) {
        std::fprintf(stderr, "no Excel module in %s\n", RUN_DIR);
        return 1;
    }
    const fs::path out = fs::temp_directory_path() / ("export-bench-" + std::to_string(getpid()));
    fs::create_directories(out);
    fs::current_path(out);

    for (unsigned i = 0; i < sizes.size(); ++i) {
        export_request req;
        req.statement =
            list_statement(router_ip(i), 128) + "     ";  // as the filter gives it without input
        req.name = export_file_name("bench" + std::to_string(sizes[i]));
        req.dir = (out / "export").string();
        req.pdf = true;
        req.excel = true;
        req.db = query_settings();

        const long idle_kb = status_kb("VmRSS");
        reset_peak();
        const double cpu0 = cpu_seconds();
        const auto t0 = clock_type::now();
        const export_result res = run_export(req, loaded_excel_entries());
        const double secs = std::chrono::duration<double>(clock_type::now() - t0).count();
        const double cpu = cpu_seconds() - cpu0;
        const long peak_kb = status_kb("VmHWM");

        std::uintmax_t bytes = 0;
        for (const auto& w : res.workbooks)
            bytes += fs::file_size(fs::path(req.dir) / w);
        const std::uintmax_t pdf_bytes =
            res.pdf_written ? fs::file_size(fs::path(req.dir) / res.pdf_name) : 0;
        std::printf(
            "%lu records: %s, %.1f s, %.0f records/s, CPU %.1f s, peak memory %.1f MB above idle "
            "(idle %.1f MB); %zu workbooks %.1f MB, PDF %.1f MB\n",
            sizes[i], res.complete(req) ? "complete" : "INCOMPLETE", secs, res.records / secs, cpu,
            (peak_kb - idle_kb) / 1024.0, idle_kb / 1024.0, res.workbooks.size(), bytes / 1e6,
            pdf_bytes / 1e6);
        std::fflush(stdout);
        fs::remove_all(req.dir);
    }
    fs::current_path(start);
    fs::remove_all(out);
    return 0;
}
