// The mail list's logic (email_list): pages of 10 from the real mail store
// and decoding modules and the scripts, times from the modification time,
// deletion by unlink, and the records that announce stored mail to the tree.
// Mails are written into a scratch working directory.

#include "base/mail_text.h"
#include "base/other_func.h"
#include "companion/extern.h"
#include "email/email_list.h"
#include "email/python_interface.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const guint ROUTER = 0x0100000A;  // 10.0.0.1
const std::string MAIL_DIR = "mail_save/10.0.0.1";

std::string mail(const std::string& from, const std::string& subject)
{
    return "From: " + from + "\r\nTo: x@example.test, Y <y@example.test>\r\nSubject: " + subject +
           "\r\n\r\nbody\r\n";
}

// Writes a mail with a modification time of its own (later k: newer).
void put_mail(const std::string& name, const std::string& bytes, std::time_t when)
{
    write_file(MAIL_DIR + "/" + name, bytes);
    utimbuf t {when, when};
    utime((MAIL_DIR + "/" + name).c_str(), &t);
}

std::string gb18030(const char* utf8)
{
    gchar* gb = g_convert(utf8, -1, "GB18030", "UTF-8", nullptr, nullptr, nullptr);
    std::string out = gb ? gb : "";
    g_free(gb);
    return out;
}

std::string repeat(const std::string& text, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += text;
    return out;
}

std::vector<unsigned> numbers(const email_page& p)
{
    std::vector<unsigned> out;
    for (const auto& r : p.rows)
        out.push_back(r.number);
    return out;
}

std::vector<unsigned> range(unsigned from, unsigned to)
{
    std::vector<unsigned> out;
    for (unsigned v = from; v <= to; ++v)
        out.push_back(v);
    return out;
}

}  // namespace

class EmailList : public ::testing::Test {
protected:
    scratch_dir dir;

    void SetUp() override
    {
        for (const char* f : {"email_file.dll", "email_decode.dll", "my_email.py"})
            fs::create_symlink(fs::path(RUN_DIR) / f, f);
        fs::create_directories(MAIL_DIR);
        ASSERT_TRUE(init_extern_func_2());
        ASSERT_TRUE(init_extern_func_3());
    }
};

TEST_F(EmailList, PagesOfTenNewestFirstNumberedAcrossPages)
{
    ASSERT_EQ(init_python_1(), 0);
    const std::time_t base = 1700000000;
    for (int k = 1; k <= 15; ++k)
        put_mail("m" + std::to_string(k) + ".eml",
                 mail("S" + std::to_string(k) + " <s@example.test>", "=?UTF-8?B?" +
                      std::string(k % 2 ? "5Lit5paH" : "6YKu5Lu2") + "?= " + std::to_string(k)),
                 base + k);

    email_page p0 = read_email_page(ROUTER, 0);
    EXPECT_TRUE(p0.found);
    EXPECT_EQ(p0.count, 15);
    EXPECT_FALSE(p0.has_prev);
    EXPECT_TRUE(p0.has_next);
    EXPECT_EQ(numbers(p0), range(1, 10));
    EXPECT_EQ(p0.rows[0].subject, "中文 15");
    EXPECT_EQ(p0.rows[0].sender, "S15 <s@example.test>");
    EXPECT_EQ(p0.rows[0].path, MAIL_DIR + "/m15.eml");
    EXPECT_EQ(p0.rows[0].recipients, "x@example.test Y <y@example.test> ");

    // Page 2 comes from the scripts; the view's test compares them with the module.
    email_page p1 = read_email_page(ROUTER, 1);
    EXPECT_TRUE(p1.has_prev);
    EXPECT_FALSE(p1.has_next);
    EXPECT_EQ(numbers(p1), range(11, 15));
    EXPECT_EQ(p1.rows[0].subject, "中文 5");
    EXPECT_EQ(p1.rows[4].subject, "中文 1");
}

TEST_F(EmailList, RouterWithoutMailDirectoryGivesAnEmptyPage)
{
    email_page p = read_email_page(0x0200000A, 0);
    EXPECT_FALSE(p.found);
    EXPECT_TRUE(p.rows.empty());
    EXPECT_FALSE(p.has_next);
}

TEST_F(EmailList, TimeIsTheModificationTimeOnTheStoredScale)
{
    const std::time_t when = 1600000000;
    put_mail("a.eml", mail("a@b", "t"), when);
    chmod((MAIL_DIR + "/a.eml").c_str(), 0600);  // the change time moves, the modification time not
    unsigned stored = 0;
    ASSERT_TRUE(email_file_time((MAIL_DIR + "/a.eml").c_str(), &stored));
    EXPECT_EQ(stored, static_cast<unsigned>(when - 28800));
    EXPECT_EQ(email_time_text((MAIL_DIR + "/a.eml").c_str()), ConvertTime(stored));
    std::tm local {};
    localtime_r(&when, &local);
    char want[64];
    std::strftime(want, sizeof want, "%Y-%m-%d %H:%M:%S", &local);
    EXPECT_EQ(read_email_page(ROUTER, 0).rows.at(0).time, want);
    EXPECT_EQ(email_time_text("mail_save/none.eml"), "");
}

// A path longer than 200 bytes is kept whole; a name the shell would take
// apart is just a name; a file already gone counts as gone. The view's test
// covers a file that cannot be removed.
TEST_F(EmailList, DeletionUnlinksAndSaysWhetherTheFileIsGone)
{
    const std::string name = std::string(190, 'n') + ".eml";
    put_mail(name, mail("long@example.test", "long path"), 1700000000);
    put_mail("b; touch x &.eml", mail("a@b", "t"), 1700000001);
    email_page p = read_email_page(ROUTER, 0);
    ASSERT_EQ(p.rows.size(), 2u);
    EXPECT_EQ(p.rows[1].path, MAIL_DIR + "/" + name);
    EXPECT_EQ(p.rows[1].subject, "long path");
    int error = -1;
    EXPECT_EQ(delete_email_file(p.rows[1].path, &error), 0);
    EXPECT_EQ(error, 0);
    EXPECT_FALSE(fs::exists(MAIL_DIR + "/" + name));
    EXPECT_EQ(delete_email_file(MAIL_DIR + "/b; touch x &.eml"), 0);
    EXPECT_FALSE(fs::exists("x"));
    EXPECT_EQ(delete_email_file(MAIL_DIR + "/" + name), 0);
}

TEST_F(EmailList, EveryStoredMailIsOneType144Record)
{
    for (int k = 0; k < 3; ++k)
        put_mail(std::to_string(k) + ".eml", mail("a@b", "t"), 1700000000 + k);
    fs::create_directories("mail_save/10.0.0.2");  // no mails: nothing
    fs::create_directories("mail_save/192.168.1.7");
    write_file("mail_save/192.168.1.7/x.eml", mail("a@b", "t"));
    fs::create_directories("mail_save/not-a-router");
    write_file("mail_save/not-a-router/y.eml", mail("a@b", "t"));
    std::vector<std::pair<guint, guint>> got;
    for_each_stored_mail([&](tagCommunicationData_* r) {
        got.emplace_back(r->dwIP, r->msg.impMsg.dwLogType);
        EXPECT_EQ(r->msg.impMsg.cLogContent[0], '\0');
    });
    std::vector<std::pair<guint, guint>> want(3, {ROUTER, 144u});
    want.emplace_back(0x0701A8C0, 144u);
    EXPECT_EQ(got, want);
}

TEST_F(EmailList, ModuleAndScriptsGiveTheSameSenderAndSubject)
{
    ASSERT_EQ(init_python_1(), 0);
    const std::vector<std::string> mails = {
        // Raw GB18030 text whose first words happen to be valid UTF-8 bytes.
        gb18030("From: 王五 <ww@example.cn>\r\nSubject: 原始 GB 标题\r\n\r\nbody\r\n"),
        "From: 李四 <l@x.cn>\r\nSubject: 原始 UTF-8 标题\r\n\r\n",
        "From: x@example.test (a comment)\r\nSubject: =?GB2312?B?1tDOxA==?=\r\n\r\n",
        "From: A B <a@b.example>, c@d.example (C D)\r\nSubject: two\r\n\r\n",
        "From: \"a\\\"b\" <q@x.example>\r\nSubject: quoted\r\n\r\n",
        "From: Dr. Who <who@x.example>\r\nSubject:   spaced   \r\n\r\n",
        "From: undisclosed-recipients:;\r\nSubject: folded\r\n\tline\r\n\r\n",
        "From: just a phrase\r\n\r\n",
        "From:   spaced   name  <s@x.example>\r\nSubject: " + repeat("长主题", 30) + "\r\n\r\n",
    };
    for (std::size_t i = 0; i < mails.size(); ++i) {
        std::string path = MAIL_DIR + "/" + std::to_string(i) + ".eml";
        write_file(path, mails[i]);
        SCOPED_TRACE(mails[i]);
        utf16_string wide = utf16_from_utf8(path);
        EXPECT_EQ(email_header_from_module(wide, "From:"), email_sender_from_scripts(path));
        EXPECT_EQ(email_header_from_module(wide, "Subject:"), email_subject_from_scripts(path));
    }
    utf16_string first = utf16_from_utf8(MAIL_DIR + "/0.eml");
    EXPECT_EQ(email_header_from_module(first, "Subject:"), "原始 GB 标题");
    EXPECT_EQ(email_header_from_module(first, "From:"), "王五 <ww@example.cn>");
    EXPECT_EQ(email_header_from_module(utf16_from_utf8(MAIL_DIR + "/2.eml"), "From:"), "x@example.test");
    // Long values are cut alike, at a character boundary.
    std::string cut = email_header_from_module(utf16_from_utf8(MAIL_DIR + "/8.eml"), "Subject:");
    EXPECT_EQ(cut, repeat("长主题", 22));  // 198 of at most 199 bytes
}
