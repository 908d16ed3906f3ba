// The mail list's logic (email_list) against the real mail store and
// decoding modules: deletion by unlink, and the records that announce stored
// mail to the tree. Paging, times and the scripts' headers are tested through
// the e-mail view.

#include "base/mail_text.h"
#include "companion/extern.h"
#include "email/email_list.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <utime.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const guint ROUTER = 0x0100000A;  // 10.0.0.1
const std::string MAIL_DIR = "mail_save/10.0.0.1";

// Writes a mail with a modification time of its own.
void put_mail(const std::string& name, std::time_t when = 1700000000)
{
    const std::string path = MAIL_DIR + "/" + name;
    write_file(path, "To: x@example.test, Y <y@example.test>\r\nSubject: stored\r\n\r\nbody\r\n");
    utimbuf t {when, when};
    utime(path.c_str(), &t);
}

}  // namespace

class EmailList : public ::testing::Test {
protected:
    scratch_dir dir;

    void SetUp() override
    {
        for (const char* f : {"email_file.dll", "email_decode.dll"})
            fs::create_symlink(fs::path(RUN_DIR) / f, f);
        fs::create_directories(MAIL_DIR);
        ASSERT_TRUE(init_extern_func_2());
        ASSERT_TRUE(init_extern_func_3());
    }
};

// A path longer than 200 bytes is kept whole; a name the shell would take
// apart is just a name; a file already gone counts as gone. The view's test
// covers a file that cannot be removed.
TEST_F(EmailList, DeletionUnlinksAndSaysWhetherTheFileIsGone)
{
    EXPECT_FALSE(read_email_page(0x0200000A, 0).found) << "a router without a mail folder";
    const std::string name = std::string(190, 'n') + ".eml";
    put_mail(name);
    put_mail("b; touch x &.eml", 1700000001);
    email_page p = read_email_page(ROUTER, 0);
    ASSERT_EQ(p.rows.size(), 2u);
    EXPECT_EQ(p.rows[1].path, MAIL_DIR + "/" + name);
    EXPECT_EQ(p.rows[1].subject, "stored");
    EXPECT_EQ(p.rows[1].recipients, "x@example.test Y <y@example.test> ");
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
        put_mail(std::to_string(k) + ".eml");
    fs::create_directories("mail_save/10.0.0.2");  // no mails: nothing
    fs::create_directories("mail_save/192.168.1.7");
    write_file("mail_save/192.168.1.7/x.eml", "x");
    fs::create_directories("mail_save/not-a-router");
    write_file("mail_save/not-a-router/y.eml", "x");
    std::vector<std::pair<guint, guint>> got;
    for_each_stored_mail([&](tagCommunicationData_* r) {
        got.emplace_back(r->dwIP, r->msg.impMsg.dwLogType);
        EXPECT_EQ(r->msg.impMsg.cLogContent[0], '\0');
    });
    std::vector<std::pair<guint, guint>> want(3, {ROUTER, 144u});
    want.emplace_back(0x0701A8C0, 144u);
    EXPECT_EQ(got, want);
}
