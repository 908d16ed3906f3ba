// The export job's logic: file names, and the worker function against the
// test database through the real Excel module; every workbook is read back
// with xlrd and compared cell by cell.
#include "support/scratch_dir.h"
#include "support/xls_reader.h"
#include "support/browse_db.h"
#include "support/test_db.h"

#include "base/language.h"
#include "base/log_types.h"
#include "base/other_func.h"
#include "exports/export_job.h"

#include <gmodule.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

using row = std::vector<std::string>;
constexpr unsigned ROUTER = 0x0101A8C0;  // 192.168.1.1
const std::string BASE = list_statement(ROUTER, 128);

TEST(ExportNames, NamesAndContinuations)
{
    EXPECT_EQ(check_export_name(""), name_problem::empty);
    for (const char* bad : {"a/b", "..", "-rf", "line\nbreak"})
        EXPECT_EQ(check_export_name(bad), name_problem::unsafe) << bad;
    for (const char* good : {"x;touch PWNED", "报告 2024", "a\\b"})
        EXPECT_EQ(check_export_name(good), name_problem::none) << good;
    EXPECT_EQ(export_file_name(std::string(300, 'a')), std::string(196, 'a') + ".xls");
    const std::pair<std::string, std::string> split[] = {{"report.xls.xls", "report-1.xls"},
                                                         {"a.xls.bak", "a-1.xls"},
                                                         {"noext", "noext-1.xls"},
                                                         {"/a.xls/b/c.xls", "/a.xls/b/c-1.xls"}};
    for (const auto& [in, out] : split)
        EXPECT_EQ(get_split_filename(in, 1), out);
    EXPECT_EQ(get_split_filename("x.xls", 12), "x-12.xls");
}

excel_entries module_entries()
{
    static GModule* module = g_module_open(RUN_DIR "/vc_dll_excel.dll", G_MODULE_BIND_LAZY);
    gpointer p[4] = {};
    const char* names[4] = {"create_excel", "OpenExcel", "WriteToExcel", "close_excel"};
    for (int i = 0; i < 4; ++i)
        if (module)
            g_module_symbol(module, names[i], &p[i]);
    return {reinterpret_cast<vc_create_excel_t>(p[0]), reinterpret_cast<vc_open_excel_t>(p[1]),
            reinterpret_cast<vc_write_excel_t>(p[2]), reinterpret_cast<vc_close_excel_t>(p[3])};
}

// Stores n rows of ROUTER in one statement; row k (from 1) as bulk_row(k) shows it.
void store_bulk(unsigned n)
{
    const std::string sql =
        "insert into LogTab (dwIP, dwLogType, dwSourceIP, cLogUser, cLogContent, cLogNote, time, "
        "cLogContent_chinese, cLogContent_fanti, cLogContent_en) select " +
        std::to_string(ROUTER) +
        ", 1, 167772161 + seq % 1000, 'admin', concat('visit ', seq), '', 1700000000 + seq, "
        "concat('访问 ', seq), concat('訪問 ', seq), concat('visit ', seq) from seq_1_to_" +
        std::to_string(n);
    ASSERT_EQ(exe_sql(sql.c_str()), 0) << mysql_error(mysql);
}

row cells(unsigned type, const std::string& user, const std::string& content, unsigned time,
          unsigned source, unsigned lang)
{
    char t[64], s[32];
    ConvertTime_r(time, t, sizeof t);
    convert_ip_r(source, s, sizeof s);
    return {list_type_label(type, lang), user, content, t, s, "192.168.1.1"};
}

row bulk_row(unsigned k, unsigned lang = 0)
{
    const char* content[3] = {"访问 ", "visit ", "訪問 "};
    return cells(1, "admin", content[lang] + std::to_string(k), 1700000000 + k,
                 167772161 + k % 1000, lang);
}

row headers(unsigned lang = 0)
{
    const export_cells h = export_headers(lang);
    return {h.c, h.c + 6};
}

std::vector<row> book(unsigned first, unsigned last)
{
    std::vector<row> out = {headers()};
    for (unsigned k = first; k <= last; ++k)
        out.push_back(bulk_row(k));
    return out;
}

void expect_rows(const std::string& path, const std::vector<row>& rows)
{
    const xls_sheet got = read_xls(path);
    ASSERT_TRUE(got.ok) << path << ": " << got.error;
    ASSERT_EQ(got.rows.size(), rows.size()) << path;
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t c = 0; c < 6; ++c)
            ASSERT_EQ(got.rows[i][c], rows[i][c]) << path << " row " << i << " cell " << c;
}

std::set<std::string> files_in(const fs::path& dir)
{
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.insert(e.path().filename().string());
    return out;
}

class ExportJob : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TEST_DB();
        ASSERT_TRUE(connect_test_db());
        language_nu = 0;
    }
    void TearDown() override { language_nu = 0; }

    export_request request(const std::string& typed, bool pdf = true, const std::string& where = "")
    {
        export_request r;
        r.statement = BASE + where;
        r.name = export_file_name(typed);
        r.dir = (dir.path() / "export").string();
        r.pdf = pdf;
        r.excel = true;
        r.db = query_settings();
        return r;
    }

    scratch_dir dir;
};

// 40,001 records fill the first workbook and leave an empty continuation;
// the 40,002nd goes to the continuation without a header. A copy to the
// export directory itself, however written, copies nothing.
TEST_F(ExportJob, WorkbooksOf40001RecordsAndTheirCopies)
{
    store_bulk(40002);
    std::vector<double> progress;
    export_hooks hooks;
    hooks.progress = [&](double f) { progress.push_back(f); };
    const export_request r1 = request("base", false, " and (time <= 1700040001)");
    const export_result res1 = run_export(r1, module_entries(), hooks);
    EXPECT_TRUE(res1.complete(r1));
    EXPECT_EQ(res1.count, 40001);
    EXPECT_EQ(res1.workbooks, (std::vector<std::string> {"base.xls", "base-1.xls"}));
    expect_rows(r1.dir + "/base.xls", book(1, 40001));
    expect_rows(r1.dir + "/base-1.xls", {});
    // Every second record, and the last one of an odd count.
    ASSERT_EQ(progress.size(), 20001u);
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);

    const export_request r = request("report.xls");
    const export_result res = run_export(r, module_entries());
    EXPECT_TRUE(res.complete(r));
    const std::set<std::string> written = {"report.xls.xls", "report-1.xls", "report.xls.xls.pdf"};
    std::set<std::string> all = written;
    all.insert({"base.xls", "base-1.xls"});
    EXPECT_EQ(files_in(r.dir), all);

    fs::create_directory_symlink(r.dir, dir.path() / "link");
    for (const std::string& same :
         {r.dir, r.dir + "/", r.dir + "/../export", (dir.path() / "link").string()})
        EXPECT_TRUE(copy_export_files(res, r.dir, same).same_folder) << same;
    expect_rows(r.dir + "/report.xls.xls", book(1, 40001));
    expect_rows(r.dir + "/report-1.xls", {bulk_row(40002)});

    fs::create_directory("chosen");
    copy_export_files(res, r.dir, (dir.path() / "chosen").string());
    EXPECT_EQ(files_in("chosen"), written);
    EXPECT_EQ(read_file("chosen/report-1.xls"), read_file(r.dir + "/report-1.xls"));
    EXPECT_TRUE(copy_export_files(res, r.dir, "").no_folder);
    const copy_result failed = copy_export_files(res, r.dir, "/no/such/folder");
    EXPECT_EQ(failed.failed.size(), 3u);
    EXPECT_EQ(copy_failure_message(failed, "/x", 1).rfind("could not copy to /x:\n", 0), 0u);

    // Twelve continuation workbooks, more than the nine that used to be copied.
    export_result many;
    for (unsigned k = 0; k <= 12; ++k) {
        many.workbooks.push_back(k ? get_split_filename("m.xls", k) : "m.xls");
        write_file(r.dir + "/" + many.workbooks.back(), "book " + std::to_string(k));
    }
    fs::create_directory("many");
    EXPECT_EQ(copy_export_files(many, r.dir, (dir.path() / "many").string()).copied.size(), 13u);
    EXPECT_EQ(read_file("many/m-12.xls"), "book 12");
}

// A language switch during an export changes the cells written after it;
// a user as long as its column with quotes, tab and line break, and a text
// of 255 Chinese characters come out whole.
TEST_F(ExportJob, CellsAndLanguages)
{
    store_bulk(30);
    std::string zh255;
    for (int i = 0; i < 255; ++i)
        zh255 += "长";
    const std::string user = "管理员 'q' \"\\\"\t\n" + std::string(18, 'u');  // 31 characters
    ASSERT_TRUE(store_row({ROUTER, 4, 0, user, "en", 1800000000, "cn", zh255, "en"}));
    export_hooks hooks;
    hooks.before_record = [](unsigned long long i) { language_nu = i > 20 ? 2 : i > 10 ? 1 : 0; };
    const export_request r = request("switch");
    ASSERT_TRUE(run_export(r, module_entries(), hooks).complete(r));
    std::vector<row> want = {headers(0)};
    for (unsigned k = 1; k <= 30; ++k)
        want.push_back(bulk_row(k, k <= 10 ? 0 : k <= 20 ? 1 : 2));
    want.push_back(cells(4, user, zh255, 1800000000, 0, 2));
    expect_rows(r.dir + "/switch.xls", want);
}

// A missing module's entries are null here: never called.
TEST_F(ExportJob, FailuresAreReported)
{
    store_bulk(20000);
    export_request bad = request("bad", true, " and cLogUser REGEXP '(' ");
    export_request nomod = request("nomod");
    export_request nodb = request("nodb");
    nodb.db.port = 1;
    export_request slow = request("slow", true, " and (sleep(0.3) = 0) ");
    slow.count_time_limit_s = 0.2;
    const struct {
        export_request req;
        excel_entries excel;
        const char* says;
    } cases[] = {{bad, module_entries(), "the database refused the filter statement"},
                 {nomod, excel_entries {}, "the Excel module vc_dll_excel.dll is not loaded"},
                 {nodb, module_entries(), "cannot connect to the database"},
                 {slow, module_entries(), "counting the records took too long and was stopped"}};
    for (const auto& c : cases) {
        const export_result res = run_export(c.req, c.excel);
        EXPECT_FALSE(res.complete(c.req));
        const std::string msg = completion_message(c.req, res, "/w", 1);
        EXPECT_NE(msg.find(c.says), std::string::npos) << msg;
        EXPECT_EQ(msg.find("export success"), std::string::npos);
    }
    EXPECT_EQ(files_in(bad.dir), std::set<std::string> {"nomod.xls.pdf"});

    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit lim {200 * 1024, 200 * 1024};
        setrlimit(RLIMIT_FSIZE, &lim);
        const export_request full = request("full");
        write_file("full.msg", completion_message(full, run_export(full, module_entries()), "", 1));
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    const std::string msg = read_file("full.msg");
    for (const char* says : {"the workbook full.xls and the records after it could not be written",
                             "the PDF full.xls.pdf could not be written"})
        EXPECT_NE(msg.find(says), std::string::npos) << msg;
    EXPECT_FALSE(fs::exists(bad.dir + "/full.xls.pdf"));
    expect_rows(bad.dir + "/full.xls", {});  // the empty workbook, never a cut-off one
}

// A name with shell characters gives that file and nothing else, replacing
// exactly the old file of that name; no record gives the header only.
TEST_F(ExportJob, ShellCharactersInTheNameAndNoRecords)
{
    const export_request r = request("x;touch PWNED");
    fs::create_directory(r.dir);
    write_file(r.dir + "/x;touch PWNED.xls", "old file");
    write_file(r.dir + "/x", "neighbour");
    ASSERT_TRUE(run_export(r, module_entries()).complete(r));
    EXPECT_EQ(files_in(r.dir),
              (std::set<std::string> {"x", "x;touch PWNED.xls", "x;touch PWNED.xls.pdf"}));
    EXPECT_EQ(files_in(dir.path()), std::set<std::string> {"export"});
    EXPECT_EQ(read_file(r.dir + "/x"), "neighbour");
    expect_rows(r.dir + "/x;touch PWNED.xls", {headers()});
}

}  // namespace
