// The mail list's logic (email_list) against the real mail store and
// decoding modules: the records that announce stored mail to the tree, and
// deletion by unlink. Paging, times and the scripts' headers are tested
// through the e-mail view, as is a file that cannot be removed.

#include "companion/extern.h"
#include "email/email_list.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <utime.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

TEST(EmailList, StoredMailsAreAnnouncedListedAndUnlinked)
{
    scratch_dir dir;
    for (const char* f : {"email_file.dll", "email_decode.dll"})
        fs::create_symlink(fs::path(RUN_DIR) / f, f);
    ASSERT_TRUE(init_extern_func_2());
    ASSERT_TRUE(init_extern_func_3());
    // A path longer than 200 bytes, and a name the shell would take apart.
    const std::string dir_1 = "mail_save/10.0.0.1/", long_name = std::string(190, 'n') + ".eml";
    fs::create_directories(dir_1);
    for (const std::string& name : {long_name, std::string("b; touch x &.eml")})
        write_file(dir_1 + name, "To: x@example.test, Y <y@example.test>\r\nSubject: s\r\n\r\n");
    utimbuf older {1700000000, 1700000000};
    utime((dir_1 + long_name).c_str(), &older);
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
    std::vector<std::pair<guint, guint>> want(2, {0x0100000A, 144u});
    want.emplace_back(0x0701A8C0, 144u);
    EXPECT_EQ(got, want);

    EXPECT_FALSE(read_email_page(0x0300000A, 0).found) << "a router without a mail folder";
    email_page p = read_email_page(0x0100000A, 0);
    ASSERT_EQ(p.rows.size(), 2u);
    EXPECT_EQ(p.rows[1].path, dir_1 + long_name);
    EXPECT_EQ(p.rows[1].subject, "s");
    EXPECT_EQ(p.rows[1].recipients, "x@example.test Y <y@example.test> ");
    int error = -1;
    EXPECT_EQ(delete_email_file(p.rows[1].path, &error), 0);
    EXPECT_EQ(error, 0);
    EXPECT_FALSE(fs::exists(dir_1 + long_name));
    EXPECT_EQ(delete_email_file(dir_1 + "b; touch x &.eml"), 0);
    EXPECT_FALSE(fs::exists("x"));
    EXPECT_EQ(delete_email_file(dir_1 + long_name), 0) << "a file already gone counts as gone";
}
