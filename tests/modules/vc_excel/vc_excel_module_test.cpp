// The Excel writer module, opened from the run directory as the program
// opens it; every workbook is read back with xlrd.
#include "support/scratch_dir.h"
#include "support/xls_reader.h"

#include "base/utf16.h"

#include <gmodule.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using create_fn = int (*)(const gunichar2*, const gunichar2*);
using open_fn = int (*)(const gunichar2*, const gunichar2*);
using write_fn = int (*)(const gunichar2*, const gunichar2*, const gunichar2*, const gunichar2*,
                         const gunichar2*, const gunichar2*, const gunichar2*);
using close_fn = int (*)();

GModule* module = nullptr;
create_fn create_excel = nullptr;
open_fn open_excel = nullptr;
write_fn write_excel = nullptr;
close_fn close_excel = nullptr;

using row = std::vector<std::string>;  // six cells, UTF-8

const utf16_string ONE = utf16_from_utf8("1");

int create(const std::string& path)
{
    return create_excel(utf16_from_utf8(path).c_str(), ONE.c_str());
}
int open(const std::string& path) { return open_excel(utf16_from_utf8(path).c_str(), nullptr); }

int write(const row& r)
{
    std::vector<utf16_string> w;
    for (const auto& c : r)
        w.push_back(utf16_from_utf8(c));
    w.resize(6);
    return write_excel(ONE.c_str(), w[0].c_str(), w[1].c_str(), w[2].c_str(), w[3].c_str(),
                       w[4].c_str(), w[5].c_str());
}

// Writes a whole workbook: create, open, rows, close; the calls' results
// must all be 0.
void write_book(const std::string& path, const std::vector<row>& rows)
{
    ASSERT_EQ(create(path), 0);
    ASSERT_EQ(open(path), 0);
    for (const auto& r : rows)
        ASSERT_EQ(write(r), 0);
    ASSERT_EQ(close_excel(), 0);
}

void expect_same(const xls_sheet& got, const std::vector<row>& rows)
{
    ASSERT_TRUE(got.ok) << got.error;
    EXPECT_EQ(got.sheets, 1);
    ASSERT_EQ(got.rows.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_GE(got.rows[i].size(), 6u);
        for (std::size_t c = 0; c < 6; ++c)
            ASSERT_EQ(got.rows[i][c], rows[i][c]) << "row " << i << " cell " << c;
    }
}

std::string repeat(const std::string& s, std::size_t n)
{
    std::string out;
    for (std::size_t i = 0; i < n; ++i)
        out += s;
    return out;
}

long peak_rss_kb()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

class VcExcel : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        module = g_module_open(RUN_DIR "/vc_dll_excel.dll", G_MODULE_BIND_LAZY);
        ASSERT_NE(module, nullptr) << g_module_error();
        gpointer p = nullptr;
        ASSERT_TRUE(g_module_symbol(module, "create_excel", &p));
        create_excel = reinterpret_cast<create_fn>(p);
        ASSERT_TRUE(g_module_symbol(module, "OpenExcel", &p));
        open_excel = reinterpret_cast<open_fn>(p);
        ASSERT_TRUE(g_module_symbol(module, "WriteToExcel", &p));
        write_excel = reinterpret_cast<write_fn>(p);
        ASSERT_TRUE(g_module_symbol(module, "close_excel", &p));
        close_excel = reinterpret_cast<close_fn>(p);
    }

    scratch_dir dir;
};

TEST_F(VcExcel, RowsReadBackCellByCell)
{
    std::vector<row> rows = {
        {"日志类型", "日志用户", "记录内容", "记录时间", "源ip", "路由器ip"},
        {"log type", "user", "content", "time", "source ip", "sourter ip"},
        {"日誌類型", "it's", "say \"hi\" \\ 'there'", "2024-01-15 10:00:00", "10.0.0.5",
         "192.168.1.1"},
        {repeat("x", 255), repeat("中", 255), repeat("é", 255), "a\tb\nc", "", "last"},
        {"", "", "", "", "", "only the sixth"},
        {"访问网站 http://example.test/?q=1&r=2", "用户", "😀 outside the BMP", "", "", ""},
    };
    // Enough rows that the strings run through many CONTINUE records, with
    // 8-bit and 16-bit strings cut at record ends, and cells longer than a
    // record.
    for (int i = 0; i < 3000; ++i)
        rows.push_back({"row " + std::to_string(i), "用户" + std::to_string(i),
                        repeat("c", i % 300), repeat("中", i % 170), std::to_string(i), "end"});
    rows.push_back({repeat("a", 9000), repeat("長", 9000), "x", "y", "z", "w"});

    write_book("book.xls", rows);
    expect_same(read_xls("book.xls"), rows);
}

TEST_F(VcExcel, CreateAloneGivesAnEmptyWorkbook)
{
    ASSERT_EQ(create("empty.xls"), 0);
    expect_same(read_xls("empty.xls"), {});
}

TEST_F(VcExcel, HeaderOnly)
{
    const std::vector<row> rows = {
        {"日志类型", "日志用户", "记录内容", "记录时间", "源ip", "路由器ip"}};
    write_book("header.xls", rows);
    expect_same(read_xls("header.xls"), rows);
}

TEST_F(VcExcel, OpenedWithoutRowsIsEmpty)
{
    write_book("none.xls", {});
    expect_same(read_xls("none.xls"), {});
}

TEST_F(VcExcel, PathsInChinese)
{
    std::filesystem::create_directory("导出");
    const std::vector<row> rows = {{"a", "b", "c", "d", "e", "f"}};
    write_book("导出/报告 1.xls", rows);
    expect_same(read_xls("导出/报告 1.xls"), rows);
}

TEST_F(VcExcel, LongCellsAreCutAtTheLimitNotInsideAPair)
{
    // 32,767 characters fit; the 32,767th unit here starts a surrogate pair.
    const std::string emoji = "😀";
    const std::vector<row> rows = {
        {repeat("a", 40000), repeat("b", 32766) + emoji, "c", "", "", ""}};
    write_book("long.xls", rows);
    const auto got = read_xls("long.xls");
    ASSERT_TRUE(got.ok) << got.error;
    ASSERT_EQ(got.rows.size(), 1u);
    EXPECT_EQ(got.rows[0][0], repeat("a", 32767));
    EXPECT_EQ(got.rows[0][1], repeat("b", 32766));
    EXPECT_EQ(got.rows[0][2], "c");
}

TEST_F(VcExcel, CallsOutOfOrderFail)
{
    EXPECT_EQ(write({"a", "b", "c", "d", "e", "f"}), -1);
    EXPECT_EQ(close_excel(), -1);
    EXPECT_EQ(create("missing/dir/a.xls"), -1);
    EXPECT_EQ(open("missing/dir/a.xls"), -1);
    EXPECT_EQ(write({"a", "b", "c", "d", "e", "f"}), -1);
    EXPECT_FALSE(std::filesystem::exists("missing"));
}

TEST_F(VcExcel, CreateReplacesAnOldFile)
{
    write_file("old.xls", "not a workbook at all");
    const std::vector<row> rows = {{"new", "", "", "", "", ""}};
    write_book("old.xls", rows);
    expect_same(read_xls("old.xls"), rows);
}

TEST_F(VcExcel, OpeningAnotherFinishesTheOpenOne)
{
    ASSERT_EQ(create("first.xls"), 0);
    ASSERT_EQ(open("first.xls"), 0);
    ASSERT_EQ(write({"1", "", "", "", "", ""}), 0);
    ASSERT_EQ(create("second.xls"), 0);
    ASSERT_EQ(open("second.xls"), 0);
    ASSERT_EQ(write({"2", "", "", "", "", ""}), 0);
    ASSERT_EQ(close_excel(), 0);
    expect_same(read_xls("first.xls"), {{"1", "", "", "", "", ""}});
    expect_same(read_xls("second.xls"), {{"2", "", "", "", "", ""}});
}

TEST_F(VcExcel, NoTemporaryFilesAreLeft)
{
    write_book("t.xls", {{"a", "b", "c", "d", "e", "f"}});
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator("."))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string> {"t.xls"});
}

// A full sheet: 65,536 rows fit and the next is refused; memory stays flat
// while ~60 MB of text go through.
TEST_F(VcExcel, FullSheetWithFlatMemory)
{
    const long before = peak_rss_kb();
    ASSERT_EQ(create("full.xls"), 0);
    ASSERT_EQ(open("full.xls"), 0);
    const std::string filler = repeat("0123456789", 15);
    for (unsigned i = 0; i < 65536; ++i)
        ASSERT_EQ(write({std::to_string(i), filler, filler, filler, "中文" + filler, "x"}), 0) << i;
    EXPECT_EQ(write({"one too many", "", "", "", "", ""}), -1);
    ASSERT_EQ(close_excel(), 0);
    const long grown_kb = peak_rss_kb() - before;
    EXPECT_LT(grown_kb, 16 * 1024) << "peak memory grew by " << grown_kb << " kB";

    const auto got = read_xls("full.xls");
    ASSERT_TRUE(got.ok) << got.error;
    ASSERT_EQ(got.rows.size(), 65536u);
    EXPECT_EQ(got.rows[0][0], "0");
    EXPECT_EQ(got.rows[65535][0], "65535");
    EXPECT_EQ(got.rows[65535][4], "中文" + filler);
}

// A disk that fills up (here a file size limit): the rows or the closing
// fail, and the workbook made by create_excel is left whole.
TEST_F(VcExcel, FullDiskIsReported)
{
    ASSERT_EQ(create("limited.xls"), 0);
    const auto empty_size = std::filesystem::file_size("limited.xls");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim {256 * 1024, 256 * 1024};
        setrlimit(RLIMIT_FSIZE, &lim);
        int failures = 0;
        if (open("limited.xls") != 0)
            _exit(3);
        for (int i = 0; i < 20000; ++i)
            failures += write({"row " + std::to_string(i), repeat("z", 100), "", "", "", ""}) != 0;
        failures += close_excel() != 0;
        _exit(failures > 0 ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: not opened; 4: no failure reported";
    EXPECT_EQ(std::filesystem::file_size("limited.xls"), empty_size);
    expect_same(read_xls("limited.xls"), {});
}

// LibreOffice, where it is installed, converts the workbook to CSV without
// complaint and finds the same cells.
TEST_F(VcExcel, LibreOfficeReadsIt)
{
    if (access("/usr/bin/soffice", X_OK) != 0)
        GTEST_SKIP() << "LibreOffice is not installed";
    write_book("lo.xls",
               {{"日志类型", "it's", "say \"hi\"", "", "", "end"}, {"a", "b", "c", "d", "e", "f"}});
    const std::string cmd = "HOME=" + dir.path().string() +
        " /usr/bin/soffice --headless --convert-to csv:\"Text - txt - csv (StarCalc)\":44,34,76 "
        "--outdir out lo.xls >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(read_file("out/lo.csv"), "日志类型,it's,\"say \"\"hi\"\"\",,,end\na,b,c,d,e,f\n");
}

}  // namespace
