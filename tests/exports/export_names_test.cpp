// Names of the export's files: refused names, the 200-byte cut, the
// continuation names and the headers.
#include "exports/export_job.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ExportNames, RefusedNames)
{
    EXPECT_EQ(check_export_name(""), name_problem::empty);
    for (const std::string& bad : std::initializer_list<std::string> {
             "a/b", "/etc/passwd", "..", "../up", "a..b", "-rf", "-", std::string("a\0b", 3),
             "line\nbreak", "tab\there"})
        EXPECT_EQ(check_export_name(bad), name_problem::unsafe) << bad;
    for (const std::string& good : std::initializer_list<std::string> {
             "report", "report.xls", "x;touch PWNED", "$(reboot)", "a-b", "报告 2024", "it's \"q\"",
             ".hidden", "a.b.c", "a\\b"})
        EXPECT_EQ(check_export_name(good), name_problem::none) << good;
}

TEST(ExportNames, NameEndsInXlsAndIsCutOnACharacterBoundary)
{
    EXPECT_EQ(export_file_name("report"), "report.xls");
    EXPECT_EQ(export_file_name("report.xls"), "report.xls.xls");
    const std::string ascii(300, 'a');
    EXPECT_EQ(export_file_name(ascii), std::string(196, 'a') + ".xls");
    std::string zh;
    for (int i = 0; i < 100; ++i)
        zh += "中";  // 3 bytes each
    const std::string name = export_file_name(zh);
    EXPECT_LE(name.size(), EXPORT_NAME_MAX);
    EXPECT_EQ(name.size(), 195u + 4u);  // 65 characters fit in 196 bytes
    EXPECT_EQ(name.substr(0, 195), zh.substr(0, 195));
    EXPECT_EQ(name.substr(195), ".xls");
}

TEST(ExportNames, ContinuationNames)
{
    EXPECT_EQ(get_split_filename("base.xls", 1), "base-1.xls");
    EXPECT_EQ(get_split_filename("report.xls.xls", 1), "report-1.xls");
    EXPECT_EQ(get_split_filename("report.xls.xls", 12), "report-12.xls");
    EXPECT_EQ(get_split_filename("a.xlsx.xls", 2), "a.xlsx-2.xls");
    EXPECT_EQ(get_split_filename("my.xlsdata.xls", 1), "my.xlsdata-1.xls");
    EXPECT_EQ(get_split_filename("noext", 3), "noext-3.xls");
    // Only the file name is looked at, never its folders.
    EXPECT_EQ(get_split_filename("/home/a.xls/export/b.xls", 1), "/home/a.xls/export/b-1.xls");
    EXPECT_EQ(get_split_filename("/data.xls/x", 1), "/data.xls/x-1.xls");
    EXPECT_EQ(get_split_filename("./export/报告.xls", 4), "./export/报告-4.xls");
    // No path length limit.
    const std::string dir = "/" + std::string(300, 'd');
    EXPECT_EQ(get_split_filename(dir + "/" + std::string(196, 'n') + ".xls", 9),
              dir + "/" + std::string(196, 'n') + "-9.xls");
}

TEST(ExportNames, Headers)
{
    const auto zh = export_headers(0), en = export_headers(1), tw = export_headers(2);
    const char* want_zh[6] = {"日志类型", "日志用户", "记录内容", "记录时间", "源ip", "路由器ip"};
    const char* want_en[6] = {"log type", "user", "content", "time", "source ip", "sourter ip"};
    const char* want_tw[6] = {"日誌類型", "日誌用戶", "記錄類容", "記錄時間", "源ip", "路由器ip"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(zh.c[i], want_zh[i]);
        EXPECT_EQ(en.c[i], want_en[i]);
        EXPECT_EQ(tw.c[i], want_tw[i]);
    }
}

}  // namespace
