// The PDF writer: pages, geometry, colour and text, read back with
// poppler's pdfinfo, pdftotext and pdftoppm.
#include "support/scratch_dir.h"

#include "exports/pdf_export.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Standard output of a command, "" when it failed.
std::string run(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    gchar* out = nullptr;
    gint status = 0;
    if (!g_spawn_sync(nullptr, argv.data(), nullptr,
                      static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL),
                      nullptr, nullptr, &out, nullptr, &status, nullptr))
        return "";
    std::string text = out ? out : "";
    g_free(out);
    return g_spawn_check_wait_status(status, nullptr) ? text : "";
}

int pages(const std::string& pdf)
{
    std::smatch m;
    const std::string info = run({"pdfinfo", pdf});
    if (!std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")))
        return -1;
    return std::stoi(m[1]);
}

std::string text_of(const std::string& pdf)
{
    return run({"pdftotext", "-enc", "UTF-8", pdf, "-"});
}

// Writes a document of `lines` lines: "line-0001 ..." and so on.
void write_lines(const std::string& path, unsigned lines, unsigned cell_size = 4)
{
    pdf_listing pdf;
    ASSERT_TRUE(pdf.open(path));
    const std::string filler(cell_size, 'w');
    for (unsigned i = 1; i <= lines; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "line-%04u", i);
        const std::string_view cells[6] = {id, filler, "b", "c", "d", "e"};
        pdf.write(cells);
    }
    ASSERT_TRUE(pdf.close());
}

class Pdf : public ::testing::Test {
protected:
    scratch_dir dir;
};

TEST_F(Pdf, LineText)
{
    const std::string_view cells[6] = {"a", "b", "c", "d", "e", "f"};
    EXPECT_EQ(pdf_line_text(cells), "a  b  c  d  e  f ");
}

TEST_F(Pdf, FortyOneLinesGiveAFullPageAndAnEmptyOne)
{
    write_lines("41.pdf", 41);
    EXPECT_EQ(pages("41.pdf"), 2);
    const std::string text = text_of("41.pdf");
    EXPECT_NE(text.find("line-0041"), std::string::npos);
    // The second page holds nothing: pdftotext ends each page with a form feed.
    const auto first_ff = text.find('\f');
    ASSERT_NE(first_ff, std::string::npos);
    EXPECT_EQ(text.find_first_not_of("\f\n ", first_ff), std::string::npos);
}

TEST_F(Pdf, FortyLinesGiveOnePage)
{
    write_lines("40.pdf", 40);
    EXPECT_EQ(pages("40.pdf"), 1);
}

TEST_F(Pdf, PagesAreLinesDivFortyOnePlusOne)
{
    for (unsigned lines : {0u, 1u, 42u, 81u, 82u, 83u, 123u, 400u}) {
        const std::string name = std::to_string(lines) + ".pdf";
        write_lines(name, lines);
        EXPECT_EQ(pages(name), static_cast<int>(lines / 41 + 1)) << lines << " lines";
    }
}

TEST_F(Pdf, PageSizeAndLinePositions)
{
    write_lines("geo.pdf", 41);
    const std::string info = run({"pdfinfo", "geo.pdf"});
    EXPECT_TRUE(std::regex_search(info, std::regex("Page size:\\s+1000 x 1900 pts"))) << info;
    // Each line's first word sits on its baseline at x = 10, y = 40 n: the
    // word's box spans the baseline and is about as high as a size 15 font.
    const std::string boxes = run({"pdftotext", "-bbox", "-f", "1", "-l", "1", "geo.pdf", "-"});
    std::regex word(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" yMax="([\d.]+)">line-(\d+)</word>)re");
    unsigned seen = 0;
    for (std::sregex_iterator it(boxes.begin(), boxes.end(), word), end; it != end; ++it) {
        const double x = std::stod((*it)[1]), y0 = std::stod((*it)[2]), y1 = std::stod((*it)[3]);
        const unsigned n = static_cast<unsigned>(std::stoul((*it)[4]));
        EXPECT_NEAR(x, 10, 1.5) << "line " << n;
        EXPECT_LT(y0, 40.0 * n) << "line " << n;
        EXPECT_GT(y1, 40.0 * n) << "line " << n;
        EXPECT_LT(y1, 40.0 * n + 7) << "line " << n;
        EXPECT_GT(y1 - y0, 12) << "line " << n;
        EXPECT_LT(y1 - y0, 24) << "line " << n;
        ++seen;
    }
    EXPECT_EQ(seen, 41u);
}

TEST_F(Pdf, TextIsRed)
{
    write_lines("red.pdf", 5, 40);
    run({"pdftoppm", "-r", "36", "-f", "1", "-l", "1", "red.pdf", "page"});
    const std::string ppm = read_file("page-1.ppm");
    // "P6\n<w> <h>\n255\n" and then RGB triples.
    std::smatch m;
    const std::string head = ppm.substr(0, 40);
    ASSERT_TRUE(std::regex_search(head, m, std::regex(R"(^P6\s+(\d+)\s+(\d+)\s+255\s)")));
    const std::size_t start = m[0].length();
    unsigned red = 0, other = 0;
    for (std::size_t i = start; i + 2 < ppm.size(); i += 3) {
        const auto r = static_cast<unsigned char>(ppm[i]),
                   g = static_cast<unsigned char>(ppm[i + 1]),
                   b = static_cast<unsigned char>(ppm[i + 2]);
        if (r == 255 && g == 255 && b == 255)
            continue;
        if (r == 255 && g == b)
            ++red;  // red, or red blended with the white page
        else
            ++other;
    }
    EXPECT_GT(red, 100u);
    EXPECT_EQ(other, 0u);
}

TEST_F(Pdf, ChineseCanBeExtractedAgain)
{
    pdf_listing pdf;
    ASSERT_TRUE(pdf.open("zh.pdf"));
    const std::string_view header[6] = {"日志类型", "日志用户", "记录内容",
                                        "记录时间", "源ip",     "路由器ip"};
    const std::string_view row[6] = {
        "網頁瀏覽", "管理员",     "访问网站 http://example.test/", "2024-01-15 10:00:00",
        "10.0.0.5", "192.168.1.1"};
    pdf.write(header);
    pdf.write(row);
    ASSERT_TRUE(pdf.close());
    const std::string text = text_of("zh.pdf");
    for (const char* word :
         {"日志类型", "路由器ip", "網頁瀏覽", "管理员", "访问网站", "192.168.1.1"})
        EXPECT_NE(text.find(word), std::string::npos) << word << " in\n" << text;
}

TEST_F(Pdf, InvalidUtf8DoesNotLoseLaterLines)
{
    pdf_listing pdf;
    ASSERT_TRUE(pdf.open("bad.pdf"));
    for (unsigned i = 1; i <= 100; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "line-%04u", i);
        const std::string_view bad =
            i == 3 ? std::string_view("bad \xff\xfe\xc3 cell") : std::string_view("ok");
        const std::string_view cells[6] = {id, bad, "\xe4\xb8", "c", "d", "e"};
        pdf.write(cells);
    }
    ASSERT_TRUE(pdf.close());
    const std::string text = text_of("bad.pdf");
    EXPECT_NE(text.find("line-0003"), std::string::npos);
    EXPECT_NE(text.find("line-0100"), std::string::npos);
    EXPECT_EQ(pages("bad.pdf"), 3);
}

TEST_F(Pdf, LongCellsRunOffThePageUnwrapped)
{
    write_lines("long.pdf", 41, 600);
    EXPECT_EQ(pages("long.pdf"), 2);
}

TEST_F(Pdf, LineBreaksInACellStayOnOneLine)
{
    pdf_listing pdf;
    ASSERT_TRUE(pdf.open("nl.pdf"));
    for (int i = 0; i < 41; ++i) {
        const std::string_view cells[6] = {"a\nb\nc", "d", "e", "f", "g", "h"};
        pdf.write(cells);
    }
    ASSERT_TRUE(pdf.close());
    EXPECT_EQ(pages("nl.pdf"), 2);
}

TEST_F(Pdf, PartCallsWriteUnderExport)
{
    std::filesystem::create_directory("export");
    ASSERT_EQ(init_pdf("report.xls.xls", 7), 0);
    pdf_write("日志类型", "user", nullptr, "t", "s", "r");
    pdf_write("a", "b", "c", "d", "e", "f");
    write_page_pdf();
    pdf_write("a", "b", "c", "d", "e", "f");
    ASSERT_EQ(close_pdf(), 0);
    EXPECT_EQ(pages("export/report.xls.xls.pdf"), 2);
    EXPECT_EQ(close_pdf(), -1) << "nothing open any more";
}

TEST_F(Pdf, MissingFolderIsReported)
{
    EXPECT_EQ(init_pdf("x.xls", 0), -1);
    pdf_write("a", "b", "c", "d", "e", "f");
    EXPECT_EQ(close_pdf(), -1);
    EXPECT_FALSE(std::filesystem::exists("export"));
}

// A full disk (a file size limit here): closing reports it and removes the
// incomplete file.
TEST_F(Pdf, FullDiskIsReported)
{
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim {64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &lim);
        pdf_listing pdf;
        if (!pdf.open("full.pdf"))
            _exit(3);
        for (int i = 0; i < 5000; ++i) {
            const std::string id = "row " + std::to_string(i);
            const std::string_view cells[6] = {id, "some text to fill the disk", "c", "d", "e",
                                               "f"};
            pdf.write(cells);
        }
        _exit(pdf.close() ? 4 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: not opened; 4: no failure reported";
    EXPECT_FALSE(std::filesystem::exists("full.pdf"));
}

}  // namespace
