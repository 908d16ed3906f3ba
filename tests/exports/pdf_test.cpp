// The PDF writer, read back with poppler's pdfinfo and pdftotext.
#include "support/scratch_dir.h"

#include "exports/pdf_export.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

namespace {

// Standard output of a command line (no shell), "" when it failed.
std::string run(const std::string& command)
{
    gchar* out = nullptr;
    gint status = 0;
    std::string text;
    if (g_spawn_command_line_sync(command.c_str(), &out, nullptr, &status, nullptr) &&
        g_spawn_check_wait_status(status, nullptr))
        text = out;
    g_free(out);
    return text;
}

int pages(const std::string& pdf)
{
    std::smatch m;
    const std::string info = run("pdfinfo " + pdf);
    return std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")) ? std::stoi(m[1]) : -1;
}

// Lines "line-0001 <second cell> ...": the second cell of line `bad_line`
// holds bytes that are not UTF-8.
void write_lines(const std::string& path, unsigned lines, unsigned bad_line = 0)
{
    pdf_listing pdf;
    ASSERT_TRUE(pdf.open(path));
    for (unsigned i = 1; i <= lines; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "line-%04u", i);
        const std::string_view second = i == bad_line ? "bad \xff\xfe\xc3 cell" : "访问网站 a\nb";
        const std::string_view cells[6] = {id, second, "\xe4\xb8", "c", "d", "e"};
        pdf.write(cells);
    }
    ASSERT_TRUE(pdf.close());
}

class Pdf : public ::testing::Test {
protected:
    scratch_dir dir;
};

// L lines give L div 41 + 1 pages: 41 a full page and an empty one, 40 one.
// Chinese comes out again; bad bytes in line 3 do not lose line 100.
TEST_F(Pdf, PagesLinesAndGeometry)
{
    const std::string_view cells[6] = {"a", "b", "c", "d", "e", "f"};
    EXPECT_EQ(pdf_line_text(cells), "a  b  c  d  e  f ");
    for (unsigned lines : {0u, 1u, 40u, 41u, 42u, 81u, 82u, 100u, 123u}) {
        const std::string name = std::to_string(lines) + ".pdf";
        write_lines(name, lines, 3);
        EXPECT_EQ(pages(name), static_cast<int>(lines / 41 + 1)) << lines << " lines";
    }
    const std::string text = run("pdftotext 41.pdf -");
    EXPECT_NE(text.find("line-0041"), std::string::npos);
    EXPECT_EQ(text.find_first_not_of("\f\n ", text.find('\f')), std::string::npos)
        << "page 2 is empty";
    const std::string bad = run("pdftotext -enc UTF-8 100.pdf -");
    for (const char* word : {"访问网站", "line-0003", "line-0099", "line-0100"})
        EXPECT_NE(bad.find(word), std::string::npos) << word;

    // Page 1000 x 1900; each line's first word on its baseline at x = 10,
    // y = 40 n, about as high as a size 15 font.
    EXPECT_TRUE(
        std::regex_search(run("pdfinfo 41.pdf"), std::regex("Page size:\\s+1000 x 1900 pts")));
    const std::string boxes = run("pdftotext -bbox -f 1 -l 1 41.pdf -");
    const std::regex word(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" yMax="([\d.]+)">line-(\d+)</word>)re");
    unsigned seen = 0;
    for (std::sregex_iterator it(boxes.begin(), boxes.end(), word), end; it != end; ++it, ++seen) {
        const double x = std::stod((*it)[1]), y0 = std::stod((*it)[2]), y1 = std::stod((*it)[3]);
        const double baseline = 40.0 * std::stoul((*it)[4]);
        EXPECT_NEAR(x, 10, 1.5);
        EXPECT_TRUE(y0 < baseline && baseline < y1 && y1 < baseline + 7)
            << y0 << " " << y1 << " " << baseline;
        EXPECT_TRUE(y1 - y0 > 12 && y1 - y0 < 24) << y1 - y0;
    }
    EXPECT_EQ(seen, 41u);
}

// The calls under "export": a missing folder is reported. A full disk:
// ExportJob.FailuresAreReported, through the export job.
TEST_F(Pdf, ExportFolderAndFailures)
{
    EXPECT_EQ(init_pdf("x.xls", 0), -1);
    EXPECT_EQ(close_pdf(), -1);
    std::filesystem::create_directory("export");
    ASSERT_EQ(init_pdf("report.xls.xls", 7), 0);
    pdf_write("日志类型", "user", nullptr, "t", "s", "r");
    write_page_pdf();
    pdf_write("a", "b", "c", "d", "e", "f");
    ASSERT_EQ(close_pdf(), 0);
    EXPECT_EQ(pages("export/report.xls.xls.pdf"), 2);
}

}  // namespace
