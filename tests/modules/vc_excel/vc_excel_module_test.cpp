// The Excel writer module, opened from the run directory as the program
// opens it; every workbook is read back with xlrd, cell by cell.
#include "support/repeat_text.h"
#include "support/run_module.h"
#include "support/scratch_dir.h"
#include "support/xls_reader.h"

#include "base/utf16.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

using row = std::vector<std::string>;  // six cells, UTF-8
using text = const gunichar2*;

using write_fn = int(text, text, text, text, text, text, text);
auto* const create_excel = module_entry<int(text, text)>("vc_dll_excel.dll", "create_excel");
auto* const open_excel = module_entry<int(text, text)>("vc_dll_excel.dll", "OpenExcel");
auto* const close_excel = module_entry<int()>("vc_dll_excel.dll", "close_excel");
auto* const write_excel = module_entry<write_fn>("vc_dll_excel.dll", "WriteToExcel");

const utf16_string ONE = utf16_from_utf8("1");
int create(const std::string& path)
{
    return create_excel(utf16_from_utf8(path).c_str(), ONE.c_str());
}
int open(const std::string& path) { return open_excel(utf16_from_utf8(path).c_str(), nullptr); }
int write(row r)
{
    r.resize(6);
    std::vector<utf16_string> w;
    for (const auto& c : r)
        w.push_back(utf16_from_utf8(c));
    return write_excel(ONE.c_str(), w[0].c_str(), w[1].c_str(), w[2].c_str(), w[3].c_str(),
                       w[4].c_str(), w[5].c_str());
}

long peak_rss_kb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // kB on Linux
}

class VcExcel : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(create_excel && open_excel && close_excel && write_excel); }
    scratch_dir dir;
};

// Chinese, quotes, 255-character cells, empty cells, cells longer than one
// record, a cell cut at 32,767 characters (never inside a surrogate pair) and
// enough rows that the strings run through many CONTINUE records, under a
// Chinese path, up to the 65,536 rows a sheet takes; memory stays flat
// meanwhile. A workbook only created is empty; calls out of order and missing
// folders fail.
TEST_F(VcExcel, WorkbooksReadBackCellByCellUpToTheSheetsLimits)
{
    EXPECT_EQ(write({"a"}), -1);
    EXPECT_EQ(close_excel(), -1);
    EXPECT_EQ(create("missing/a.xls"), -1);
    EXPECT_EQ(open("missing/a.xls"), -1);
    std::vector<row> rows = {
        {"日誌類型", "it's", "say \"hi\" \\ 'there'", "a\tb\nc", "", "😀 beyond the BMP"},
        {repeat("x", 255), repeat("中", 255), repeat("é", 255), "", "", "last"},
        {repeat("a", 9000), repeat("長", 9000), "", "", "", ""},
        {repeat("a", 40000), repeat("b", 32766) + "😀"},
    };
    for (int i = 0; i < 3000; ++i)
        rows.push_back({"row " + std::to_string(i), "用户" + std::to_string(i),
                        repeat("c", i % 300), repeat("中", i % 170), std::to_string(i), "end"});
    const std::string filler = repeat("0123456789", 15);
    const std::string path = "导出/报告 1.xls";
    std::filesystem::create_directory("导出");
    [[maybe_unused]] const long before = peak_rss_kb();
    ASSERT_EQ(create(path), 0);
    ASSERT_EQ(open(path), 0);
    for (const auto& r : rows)
        ASSERT_EQ(write(r), 0);
    for (auto i = rows.size(); i < 65536; ++i)
        ASSERT_EQ(write({std::to_string(i), filler, filler, filler, "中文" + filler}), 0) << i;
    EXPECT_EQ(write({"one too many"}), -1);
    ASSERT_EQ(close_excel(), 0);
#ifndef __SANITIZE_ADDRESS__
    // (Under AddressSanitizer its own shadow and quarantine hide the writer's.)
    EXPECT_LT(peak_rss_kb() - before, 16 * 1024) << "kB more at the peak";
#endif
    rows[3] = {repeat("a", 32767), repeat("b", 32766)};
    const xls_sheet got = read_xls(path);
    ASSERT_TRUE(got.ok) << got.error;
    ASSERT_EQ(got.rows.size(), 65536u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].resize(6);
        ASSERT_EQ(got.rows[i], rows[i]) << "row " << i;
    }
    EXPECT_EQ(got.rows[65535][4], "中文" + filler);

    ASSERT_EQ(create("导出/created only.xls"), 0);
    const xls_sheet empty = read_xls("导出/created only.xls");
    EXPECT_TRUE(empty.ok && empty.rows.empty()) << empty.error;
    std::size_t files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator("."))
        files += e.is_regular_file();
    EXPECT_EQ(files, 2u) << "no temporary file is left beside the workbooks";
}

// LibreOffice, where it is installed, converts a workbook without complaint.
TEST_F(VcExcel, LibreOfficeReadsIt)
{
    if (access("/usr/bin/soffice", X_OK) != 0)
        GTEST_SKIP() << "LibreOffice is not installed";
    ASSERT_EQ(create("lo.xls"), 0);
    ASSERT_EQ(open("lo.xls"), 0);
    ASSERT_EQ(write({"日志类型", "it's", "say \"hi\"", "", "", "end"}), 0);
    ASSERT_EQ(write({"a", "b", "c", "d", "e", "f"}), 0);
    ASSERT_EQ(close_excel(), 0);
    const std::string cmd = "HOME=" + dir.path().string() +
        " /usr/bin/soffice --headless --convert-to "
        "csv:\"Text - txt - csv (StarCalc)\":44,34,76 --outdir out lo.xls >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(read_file("out/lo.csv"), "日志类型,it's,\"say \"\"hi\"\"\",,,end\na,b,c,d,e,f\n");
}

}  // namespace
