// The MIME scanners over mails made by Python's email package
// (make_scanner_mails.py): bodies, attachment names and exported attachments
// against what the generator put in, once with the decoder of
// "email_decode.dll" and once with the built-in one.

#include "email/email_decode.h"

#include "companion/extern.h"
#include "support/scratch_dir.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

void make_mails(const fs::path& dir)
{
    std::string cmd = std::string(PYTHON3 " " SOURCE_DIR "/tests/email/make_scanner_mails.py '") +
                      dir.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
}

// Every file below `root` outside "mail_save/attach": size and change time.
std::map<std::string, std::pair<std::uintmax_t, long>> snapshot(const fs::path& root)
{
    std::map<std::string, std::pair<std::uintmax_t, long>> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        std::string rel = fs::relative(e.path(), root).string();
        if (rel == "mail_save" || rel.rfind("mail_save/attach", 0) == 0)
            continue;
        struct stat st;
        if (lstat(e.path().c_str(), &st) == 0)
            files[rel] = {static_cast<std::uintmax_t>(st.st_size), st.st_mtim.tv_nsec + st.st_mtim.tv_sec * 1000000000L};
    }
    return files;
}

struct decoder_case {
    const char* name;
    bool module;
};

void PrintTo(const decoder_case& c, std::ostream* os)
{
    *os << c.name;
}

class MimeScanner : public ::testing::TestWithParam<decoder_case> {
protected:
    void SetUp() override
    {
        DecodeBase64_interface = nullptr;
        if (GetParam().module) {
            void* h = dlopen(RUN_DIR "/email_decode.dll", RTLD_NOW | RTLD_LOCAL);
            ASSERT_NE(h, nullptr) << dlerror();
            DecodeBase64_interface =
                reinterpret_cast<DecodeBase64_interface_t>(dlsym(h, "DecodeBase64_interface"));
            ASSERT_NE(DecodeBase64_interface, nullptr);
        }
    }
    void TearDown() override { DecodeBase64_interface = nullptr; }
};

TEST_P(MimeScanner, BodiesNamesAndExportsAreWhatWasSent)
{
    scratch_dir dir;
    make_mails(dir.path() / "mails");
    write_file("config", "keep");
    auto before = snapshot(dir.path());

    for (const std::string& mail : lines_of(read_file("mails/manifest"))) {
        SCOPED_TRACE(mail);
        std::string base = "mails/" + mail;
        ASSERT_EQ(open_email(base.c_str()), 0);

        char body[email_content_size];
        int rc = GetContent_text(body);
        if (fs::exists(base + ".body")) {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(std::string(body), read_file(base + ".body"));
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_STREQ(body, "");
        }

        std::vector<std::string> names;
        std::vector<long> starts;
        char name[email_attach_name_size];
        for (long pos = 0; (pos = GetAttachment(name, pos)) >= 0;) {
            names.push_back(name);
            starts.push_back(pos);
        }
        EXPECT_EQ(names, lines_of(read_file(base + ".names")));
        for (std::size_t i = 0; i < names.size() && i < starts.size(); ++i) {
            ASSERT_EQ(attach_to_file(names[i].c_str(), starts[i], 0), 0);
            std::string out = attach_file_path(names[i]);
            EXPECT_EQ(out.rfind("mail_save/attach/", 0), 0u);
            std::string want = read_file(base + ".att" + std::to_string(i));
            std::string got = read_file(out);
            EXPECT_EQ(got.size(), want.size()) << names[i];
            EXPECT_TRUE(got == want) << names[i] << " differs";
        }
        close_file_email();
    }

    // "../../config", plain and as a "?B?" word, stayed inside the folder.
    EXPECT_EQ(read_file("config"), "keep");
    EXPECT_EQ(snapshot(dir.path()), before);
    std::vector<std::string> exported;
    for (const auto& e : fs::directory_iterator("mail_save/attach"))
        exported.push_back(e.path().filename().string());
    std::sort(exported.begin(), exported.end());
    EXPECT_EQ(exported, (std::vector<std::string>{"a.bin", "config", "s1.bin", "s100k.bin", "s57.bin",
                                                  "s5m.bin", "中文附件.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Decoders, MimeScanner,
                         ::testing::Values(decoder_case{"module", true}, decoder_case{"builtin", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MimeScannerLines, LineBreakModeFollowsTheLastHeaderBlock)
{
    scratch_dir dir;
    write_file("lf.eml", "Subject: x\nContent-Type: text/plain\n\nfirst line of body\nsecond line\n");
    ASSERT_EQ(open_email("lf.eml"), 0);
    char line[email_line_size];
    EXPECT_EQ(get_one_line(line, 0), -1); // "\r\n" until a header block was read
    char head[email_head_size];
    long body = get_head_block(0, head);
    EXPECT_EQ(std::string(head), "Subject: x\nContent-Type: text/plain");
    EXPECT_EQ(body, 37);
    EXPECT_EQ(get_one_line(line, body), body + 19);
    EXPECT_STREQ(line, "first line of body");
    EXPECT_EQ(get_one_line(line, body - 1), -2);
    EXPECT_EQ(find_char_infile("second", 0), body + 19);
    EXPECT_EQ(find_text_start(), 11);
    close_file_email();
    EXPECT_EQ(open_email("lf.eml"), 0);
    EXPECT_EQ(get_one_line(line, 0), -1); // opening resets the mode
    close_file_email();
}

TEST(MimeScannerLines, BoundaryQuotedOrPlain)
{
    scratch_dir dir;
    struct {
        const char* head;
        const char* value;
    } cases[] = {
        {"Content-Type: multipart/mixed; boundary=\"b-1\"\r\n\r\n", "b-1"},
        {"Content-Type: multipart/mixed; boundary=plain_b; x=y\r\n\r\n", "plain_b"},
        {"Content-Type: multipart/mixed;\r\n boundary=\"outer\"\r\n\r\n--outer\r\n"
         "Content-Type: multipart/alternative; boundary=\"inner\"\r\n\r\n", "inner"},
        {"Content-Type: multipart/mixed; boundary=\"open\r\n\r\n", ""},
        {"Content-Type: text/plain\r\n\r\nno marker at all here\r\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.head);
        write_file("b.eml", c.head);
        ASSERT_EQ(open_email("b.eml"), 0);
        char value[email_boundary_size] = "junk";
        long pos = GetBoundary_2(value, static_cast<long>(std::strlen(c.head)));
        EXPECT_STREQ(value, c.value);
        EXPECT_EQ(pos >= 0, *c.value != '\0');
        close_file_email();
    }
}

TEST(MimeScannerFailures, BrokenMailsGiveNothing)
{
    scratch_dir dir;
    std::string long_name(5000, 'n');
    struct {
        const char* what;
        std::string data;
    } cases[] = {
        {"empty", ""},
        {"headers cut off", "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Enc"},
        {"no terminator", "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n" + std::string(3000, 'A')},
        {"quoted-printable", "Content-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\nx=20y\r\n"},
        {"attachment cut off", "Content-Disposition: attachment; filename=\"" + long_name},
        {"zero bytes", std::string(2000, '\0') + "Content-Type: text/plain\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write_file("bad.eml", c.data);
        ASSERT_EQ(open_email("bad.eml"), 0);
        char body[email_content_size];
        char name[email_attach_name_size];
        EXPECT_EQ(GetContent_text(body), -1);
        EXPECT_STREQ(body, "");
        EXPECT_EQ(GetAttachment(name, 0), -1);
        close_file_email();
    }
    char body[email_content_size] = "x";
    EXPECT_EQ(open_email("missing.eml"), -1);
    EXPECT_EQ(GetContent_text(body), -1);
    EXPECT_STREQ(body, "");
}

TEST(MimeScannerNames, SafeBaseNames)
{
    std::string chinese;
    for (int i = 0; i < 190; ++i)
        chinese += "文";
    struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"../../config", "config"},     {"..\\..\\boot.ini", "boot.ini"}, {"/etc/passwd", "passwd"},
        {"..", "attachment"},           {".", "attachment"},              {"", "attachment"},
        {"dir/", "attachment"},         {"a\x01\tb\x7f.txt", "ab.txt"},   {"报告.doc", "报告.doc"},
        {chinese, chinese.substr(0, 198)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(safe_attach_name(c.in), c.out) << c.in;
        EXPECT_EQ(attach_file_path(c.in), "mail_save/attach/" + c.out);
    }
}

TEST(MimeScannerNames, GbNamedMailFileOpensByItsUtf8Path)
{
    scratch_dir dir;
    write_file("\xd6\xd0\xce\xc4.eml", "Content-Type: text/plain; charset=utf-8\r\n"
                                       "Content-Transfer-Encoding: base64\r\n\r\n5Lit5paH\r\n");
    ASSERT_EQ(open_email("中文.eml"), 0);
    char body[email_content_size];
    EXPECT_EQ(GetContent_text(body), 0);
    EXPECT_STREQ(body, "中文");
    close_file_email();
}

} // namespace
