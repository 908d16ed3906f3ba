// The export job's logic against the test database: the worker function
// writes workbooks through the real Excel module and the PDF; every workbook
// is read back with xlrd and compared cell by cell.
#include "support/scratch_dir.h"
#include "support/xls_reader.h"
#include "browse/browse_db.h"
#include "storage/test_db.h"

#include "base/language.h"
#include "base/log_types.h"
#include "base/other_func.h"
#include "exports/export_job.h"

#include <gmodule.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using row = std::vector<std::string>;

constexpr unsigned ROUTER = 0x0101A8C0;  // 192.168.1.1
const std::string BASE = "select * from LogTab  where (dwIP = '" + std::to_string(ROUTER) + "') ";

excel_entries module_entries()
{
    static GModule* module = g_module_open(RUN_DIR "/vc_dll_excel.dll", G_MODULE_BIND_LAZY);
    excel_entries e;
    if (!module)
        return e;
    gpointer p = nullptr;
    if (g_module_symbol(module, "create_excel", &p))
        e.create = reinterpret_cast<vc_create_excel_t>(p);
    if (g_module_symbol(module, "OpenExcel", &p))
        e.open = reinterpret_cast<vc_open_excel_t>(p);
    if (g_module_symbol(module, "WriteToExcel", &p))
        e.write = reinterpret_cast<vc_write_excel_t>(p);
    if (g_module_symbol(module, "close_excel", &p))
        e.close = reinterpret_cast<vc_close_excel_t>(p);
    return e;
}

db_settings test_settings()
{
    db_settings s;
    s.host = "127.0.0.1";
    s.user = "root";
    s.port = static_cast<unsigned>(std::atoi(test_db_env("LOGSERVER_TEST_DB_PORT").c_str()));
    return s;
}

// Stores `n` rows of ROUTER, type 1, in one statement: row k (from 1) has
// the content "访问 k" / "visit k" / "訪問 k", time 1,700,000,000 + k and the
// source 10.0.0.1 + k % 1000.
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

// The cells of bulk row k in a language.
row bulk_row(unsigned k, unsigned lang)
{
    char time[64], source[32];
    ConvertTime_r(1700000000 + k, time, sizeof time);
    convert_ip_r(167772161 + k % 1000, source, sizeof source);
    const char* content[3] = {"访问 ", "visit ", "訪問 "};
    return {list_type_label(1, lang),
            "admin",
            content[lang] + std::to_string(k),
            time,
            source,
            "192.168.1.1"};
}

row headers(unsigned lang)
{
    const export_cells h = export_headers(lang);
    return {h.c, h.c + 6};
}

void expect_rows(const std::string& path, const std::vector<row>& rows)
{
    const xls_sheet got = read_xls(path);
    ASSERT_TRUE(got.ok) << path << ": " << got.error;
    ASSERT_EQ(got.rows.size(), rows.size()) << path;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_GE(got.rows[i].size(), 6u);
        for (std::size_t c = 0; c < 6; ++c)
            ASSERT_EQ(got.rows[i][c], rows[i][c]) << path << " row " << i << " cell " << c;
    }
}

// Rows first..last of the bulk data, in language 0.
std::vector<row> bulk_rows(unsigned first, unsigned last, bool with_header)
{
    std::vector<row> out;
    if (with_header)
        out.push_back(headers(0));
    for (unsigned k = first; k <= last; ++k)
        out.push_back(bulk_row(k, 0));
    return out;
}

int pdf_pages(const std::string& pdf)
{
    gchar* out = nullptr;
    const char* argv[] = {"pdfinfo", pdf.c_str(), nullptr};
    if (!g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                      nullptr, &out, nullptr, nullptr, nullptr))
        return -1;
    std::string info = out ? out : "";
    g_free(out);
    std::smatch m;
    return std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")) ? std::stoi(m[1]) : -1;
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
        req.statement = BASE;
        req.dir = (dir.path() / "export").string();
        req.excel = true;
        req.pdf = false;
        req.db = test_settings();
    }
    void TearDown() override { language_nu = 0; }

    export_request with_name(const std::string& typed)
    {
        export_request r = req;
        r.name = export_file_name(typed);
        return r;
    }

    scratch_dir dir;
    export_request req;
};

TEST_F(ExportJob, SettingsInUseAreThoseOfTheQueryConnection)
{
    const db_settings s = query_settings();
    EXPECT_EQ(s.host, "127.0.0.1");
    EXPECT_EQ(s.port, test_settings().port);
}

TEST_F(ExportJob, ZeroRecordsGiveTheHeaderOnly)
{
    const export_request r = with_name("none");
    auto res = run_export(r, module_entries());
    EXPECT_TRUE(res.complete(r));
    EXPECT_EQ(res.count, 0);
    EXPECT_EQ(res.workbooks, std::vector<std::string> {"none.xls"});
    expect_rows(r.dir + "/none.xls", {headers(0)});
}

TEST_F(ExportJob, ExportDirectoryIsCreatedWhenMissing)
{
    ASSERT_FALSE(fs::exists(req.dir));
    store_bulk(3);
    export_request r = with_name("made");
    r.pdf = true;
    auto res = run_export(r, module_entries());
    EXPECT_TRUE(res.complete(r));
    EXPECT_EQ(files_in(r.dir), (std::set<std::string> {"made.xls", "made.xls.pdf"}));
    expect_rows(r.dir + "/made.xls", bulk_rows(1, 3, true));
    EXPECT_EQ(pdf_pages(r.dir + "/made.xls.pdf"), 1);
}

TEST_F(ExportJob, Records40001FillTheFirstWorkbookAndLeaveAnEmptyContinuation)
{
    store_bulk(40001);
    export_request r = with_name("base");
    r.pdf = true;
    std::vector<double> progress;
    export_hooks hooks;
    hooks.progress = [&](double f) { progress.push_back(f); };
    auto res = run_export(r, module_entries(), hooks);
    EXPECT_TRUE(res.complete(r));
    EXPECT_EQ(res.count, 40001);
    EXPECT_EQ(res.records, 40001u);
    EXPECT_EQ(res.workbooks, (std::vector<std::string> {"base.xls", "base-1.xls"}));
    expect_rows(r.dir + "/base.xls", bulk_rows(1, 40001, true));
    expect_rows(r.dir + "/base-1.xls", {});
    // Header and 40,001 lines: 40,002 / 41 + 1 pages.
    EXPECT_EQ(pdf_pages(r.dir + "/base.xls.pdf"), 40002 / 41 + 1);
    // Progress on every second record, rising to 1.
    ASSERT_EQ(progress.size(), 20000u);
    EXPECT_DOUBLE_EQ(progress.front(), 2.0 / 40001);
    EXPECT_DOUBLE_EQ(progress.back(), 40000.0 / 40001);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST_F(ExportJob, Records40002PutOneRecordWithoutHeaderInTheContinuation)
{
    store_bulk(40002);
    const export_request r = with_name("base");
    auto res = run_export(r, module_entries());
    EXPECT_TRUE(res.complete(r));
    EXPECT_EQ(res.workbooks, (std::vector<std::string> {"base.xls", "base-1.xls"}));
    expect_rows(r.dir + "/base.xls", bulk_rows(1, 40001, true));
    expect_rows(r.dir + "/base-1.xls", {bulk_row(40002, 0)});
}

TEST_F(ExportJob, NameTypedWithXls)
{
    store_bulk(40002);
    export_request r = with_name("report.xls");
    r.pdf = true;
    EXPECT_EQ(r.name, "report.xls.xls");
    auto res = run_export(r, module_entries());
    EXPECT_TRUE(res.complete(r));
    EXPECT_EQ(files_in(r.dir),
              (std::set<std::string> {"report.xls.xls", "report-1.xls", "report.xls.xls.pdf"}));
    expect_rows(r.dir + "/report-1.xls", {bulk_row(40002, 0)});
    EXPECT_EQ(pdf_pages(r.dir + "/report.xls.xls.pdf"), 40003 / 41 + 1);
}

TEST_F(ExportJob, PdfOnlyCreatesNoWorkbook)
{
    store_bulk(100);
    export_request r = with_name("only");
    r.excel = false;
    r.pdf = true;
    auto res = run_export(r, excel_entries {});
    EXPECT_TRUE(res.complete(r));
    EXPECT_EQ(files_in(r.dir), std::set<std::string> {"only.xls.pdf"});
    EXPECT_EQ(pdf_pages(r.dir + "/only.xls.pdf"), 101 / 41 + 1);
}

TEST_F(ExportJob, CellsComparedOneByOne)
{
    const std::string long_ascii(255, 'q');
    std::string long_zh;
    for (int i = 0; i < 255; ++i)
        long_zh += "长";
    std::vector<stored_row> stored(5);
    stored[0].user = "it's";
    stored[0].cn = "say \"hi\" \\ 'there'";
    stored[0].en = "en 'quoted'";
    stored[0].tw = "tw \"q\"";
    stored[1].type = 4;
    stored[1].user = "管理员";
    stored[1].cn = "攻击 来自 外网";
    stored[1].en = "attack from outside";
    stored[1].tw = "攻擊 來自 外網";
    stored[2].type = 3;
    stored[2].user = std::string(31, 'u');
    stored[2].cn = long_zh;
    stored[2].en = long_ascii;
    stored[2].tw = long_zh;
    stored[3].type = 5;
    stored[3].user = "";
    stored[3].cn = "line\nbreak\tand tab";
    stored[3].en = "";
    stored[3].tw = "x";
    stored[4].type = 1;
    stored[4].source = 0xC0A80164;  // 192.168.1.100
    stored[4].cn = stored[4].en = stored[4].tw = "访问网站 http://example.test/?a=1&b='2'";
    for (unsigned i = 0; i < stored.size(); ++i) {
        stored[i].ip = ROUTER;
        stored[i].time = 1700000000 + i;
        stored[i].content = stored[i].en;
        ASSERT_TRUE(store_row(stored[i]));
    }
    for (unsigned lang : {0u, 1u, 2u}) {
        language_nu = lang;
        const export_request r = with_name("cells" + std::to_string(lang));
        auto res = run_export(r, module_entries());
        ASSERT_TRUE(res.complete(r));
        std::vector<row> expected = {headers(lang)};
        for (const auto& s : stored) {
            char time[64], source[32];
            ConvertTime_r(s.time, time, sizeof time);
            convert_ip_r(s.source, source, sizeof source);
            const std::string content[3] = {s.cn, s.en, s.tw};
            expected.push_back({list_type_label(s.type, lang), s.user, content[lang], time, source,
                                "192.168.1.1"});
        }
        expect_rows(r.dir + "/" + r.name, expected);
    }
}

TEST_F(ExportJob, LanguageSwitchChangesTheCellsWrittenAfterIt)
{
    store_bulk(30);
    export_request r = with_name("switch");
    r.pdf = true;
    export_hooks hooks;
    hooks.before_record = [](unsigned long long i) {
        if (i == 11)
            language_nu = 1;  // as the switch does on the main loop
        if (i == 21)
            language_nu = 2;
    };
    auto res = run_export(r, module_entries(), hooks);
    ASSERT_TRUE(res.complete(r));
    std::vector<row> expected = {headers(0)};
    for (unsigned k = 1; k <= 30; ++k)
        expected.push_back(bulk_row(k, k <= 10 ? 0 : k <= 20 ? 1 : 2));
    expect_rows(r.dir + "/switch.xls", expected);
}

TEST_F(ExportJob, RejectedStatementWritesNothingAndSaysSo)
{
    store_bulk(5);
    export_request r = with_name("bad");
    r.pdf = true;
    r.statement = BASE + " and cLogUser REGEXP '(' ";
    auto res = run_export(r, module_entries());
    EXPECT_TRUE(res.statement_failed);
    EXPECT_FALSE(res.complete(r));
    EXPECT_TRUE(files_in(r.dir).empty());
    const std::string zh = completion_message(r, res, "/w", 0);
    EXPECT_EQ(zh.rfind("导出未完成：", 0), 0u) << zh;
    EXPECT_NE(zh.find("数据库拒绝了筛选语句"), std::string::npos) << zh;
    const std::string en = completion_message(r, res, "/w", 1);
    EXPECT_NE(en.find("the database refused the filter statement"), std::string::npos) << en;
    EXPECT_EQ(en.find("export success"), std::string::npos);
}

TEST_F(ExportJob, MissingExcelModuleIsNeverCalledAndSaidSo)
{
    store_bulk(5);
    export_request r = with_name("nomod");
    r.pdf = true;
    auto res = run_export(r, excel_entries {});  // null entries: a call would crash
    EXPECT_TRUE(res.excel_missing);
    EXPECT_TRUE(res.pdf_written);
    EXPECT_FALSE(res.complete(r));
    EXPECT_EQ(files_in(r.dir), std::set<std::string> {"nomod.xls.pdf"});
    const std::string tw = completion_message(r, res, "/w", 2);
    EXPECT_NE(tw.find("Excel 模塊 vc_dll_excel.dll 未加載"), std::string::npos) << tw;
    EXPECT_NE(tw.find("/w/export/"), std::string::npos) << tw;
}

TEST_F(ExportJob, UnreachableServerIsReported)
{
    export_request r = with_name("nodb");
    r.db.port = 1;  // nothing listens there
    auto res = run_export(r, module_entries());
    EXPECT_TRUE(res.connect_failed);
    EXPECT_FALSE(res.complete(r));
    EXPECT_NE(completion_message(r, res, "/w", 1).find("cannot connect"), std::string::npos);
}

TEST_F(ExportJob, SuccessMessage)
{
    const export_request r = with_name("ok");
    auto res = run_export(r, module_entries());
    ASSERT_TRUE(res.complete(r));
    EXPECT_EQ(completion_message(r, res, "/home/op", 0),
              "导出成功：放在你所选的目录,在文件夹 /home/op/export/ 留有备份");
    EXPECT_EQ(
        completion_message(r, res, "/home/op", 1),
        "export success: the file copy to the selected folder,and the folder /home/op/export/");
    EXPECT_EQ(completion_message(r, res, "/home/op", 2),
              "導出成功：放在你所選的目錄，在文件夾 /home/op/export/ 留有備份");
}

// A disk that fills up (a file size limit here): the workbook and the PDF
// are reported as not written.
TEST_F(ExportJob, FullDiskIsReported)
{
    store_bulk(20000);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim {200 * 1024, 200 * 1024};
        setrlimit(RLIMIT_FSIZE, &lim);
        export_request r = with_name("full");
        r.pdf = true;
        auto res = run_export(r, module_entries());
        const std::string msg = completion_message(r, res, "/w", 1);
        const bool said =
            msg.find("the workbook full.xls and the records after it could not be written") !=
                std::string::npos &&
            msg.find("the PDF full.xls.pdf could not be written") != std::string::npos;
        _exit(!res.complete(r) && said ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The incomplete files are gone; the first workbook is the empty one
    // create_excel made, never a cut-off file.
    EXPECT_FALSE(fs::exists(req.dir + "/full.xls.pdf"));
    expect_rows(req.dir + "/full.xls", {});
}

TEST_F(ExportJob, ShellCharactersInTheNameGiveThatFileAndNothingElse)
{
    store_bulk(3);
    fs::create_directory(req.dir);
    write_file(req.dir + "/x;touch PWNED.xls", "old file");
    write_file(req.dir + "/x", "neighbour");
    export_request r = with_name("x;touch PWNED");
    r.pdf = true;
    auto res = run_export(r, module_entries());
    EXPECT_TRUE(res.complete(r));
    EXPECT_EQ(files_in(r.dir),
              (std::set<std::string> {"x", "x;touch PWNED.xls", "x;touch PWNED.xls.pdf"}));
    EXPECT_EQ(read_file(req.dir + "/x"), "neighbour");
    EXPECT_EQ(files_in(dir.path()), std::set<std::string> {"export"});
    expect_rows(r.dir + "/x;touch PWNED.xls", bulk_rows(1, 3, true));
}

TEST_F(ExportJob, ChosenFolderEqualToTheExportDirectoryCopiesNothing)
{
    store_bulk(40002);
    export_request r = with_name("same");
    r.pdf = true;
    auto res = run_export(r, module_entries());
    ASSERT_TRUE(res.complete(r));
    const auto sizes = [&] {
        std::vector<std::uintmax_t> s;
        for (const auto& f : files_in(r.dir))
            s.push_back(fs::file_size(r.dir + "/" + f));
        return s;
    };
    const auto before = sizes();
    fs::create_directory_symlink(r.dir, dir.path() / "link");
    for (const std::string& folder : std::initializer_list<std::string> {
             r.dir, r.dir + "/", r.dir + "//", (dir.path() / "export" / ".." / "export").string(),
             (dir.path() / "link").string()}) {
        const copy_result c = copy_export_files(res, r.dir, folder);
        EXPECT_TRUE(c.same_folder) << folder;
        EXPECT_TRUE(c.copied.empty()) << folder;
    }
    EXPECT_EQ(sizes(), before);
    expect_rows(r.dir + "/same.xls", bulk_rows(1, 40001, true));
    expect_rows(r.dir + "/same-1.xls", {bulk_row(40002, 0)});
    EXPECT_EQ(pdf_pages(r.dir + "/same.xls.pdf"), 40003 / 41 + 1);
}

TEST_F(ExportJob, CopyTakesEveryWorkbookWritten)
{
    // Twelve continuation workbooks, more than the nine that used to be copied.
    fs::create_directory(req.dir);
    export_result res;
    res.workbooks.push_back("big.xls");
    for (unsigned k = 1; k <= 12; ++k)
        res.workbooks.push_back(get_split_filename("big.xls", k));
    res.pdf_written = true;
    res.pdf_name = "big.xls.pdf";
    std::set<std::string> all(res.workbooks.begin(), res.workbooks.end());
    all.insert("big.xls.pdf");
    for (const auto& f : all)
        write_file(req.dir + "/" + f, "content of " + f);
    fs::create_directory("chosen");
    const copy_result c = copy_export_files(res, req.dir, (dir.path() / "chosen").string());
    EXPECT_FALSE(c.same_folder);
    EXPECT_TRUE(c.failed.empty());
    EXPECT_EQ(c.copied.size(), 14u);
    EXPECT_EQ(files_in("chosen"), all);
    for (const auto& f : all)
        EXPECT_EQ(read_file("chosen/" + f), "content of " + f);
}

TEST_F(ExportJob, NoFolderChosenCopiesNothing)
{
    export_result res;
    res.workbooks = {"a.xls"};
    const copy_result c = copy_export_files(res, req.dir, "");
    EXPECT_TRUE(c.no_folder);
    EXPECT_TRUE(c.copied.empty());
    EXPECT_TRUE(c.failed.empty());
}

TEST_F(ExportJob, FailedCopiesAreReported)
{
    fs::create_directory(req.dir);
    export_result res;
    res.workbooks = {"a.xls"};
    write_file(req.dir + "/a.xls", "a");
    const copy_result c = copy_export_files(res, req.dir, (dir.path() / "no such folder").string());
    EXPECT_EQ(c.failed, std::vector<std::string> {"a.xls"});
    EXPECT_EQ(copy_failure_message(c, "/x", 1), "could not copy to /x:\na.xls");
    EXPECT_EQ(copy_failure_message(c, "/x", 0), "未能复制到 /x：\na.xls");
}

}  // namespace
