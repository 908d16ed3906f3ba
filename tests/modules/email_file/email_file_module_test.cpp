// "email_file.dll" from the run directory over mail stores built in a scratch
// working directory.

#include "base/mail_records.h"
#include "base/utf16.h"
#include "support/repeat_text.h"
#include "support/run_module.h"
#include "support/scratch_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using strings = std::vector<std::string>;

namespace {

const char* const dll = "email_file.dll";
auto* const rescan = module_entry<void()>(dll, "Get_Email_Name");
auto* const table_buf = module_entry<char*()>(dll, "GetFileName_buf");
auto* const ip_of = module_entry<int(gunichar2*)>(dll, "ChIp_to_int_unicode_turn");
auto* const find = module_entry<int(int, int*)>(dll, "FindPosByIp_interface");
auto* const count = module_entry<int(int)>(dll, "GetFileCounterByIP_interface");

// A mail file modified `age` seconds before a fixed time.
void mail(const std::string& path, int age)
{
    write_file(path, "Subject: x\r\n\r\n");
    struct timespec t[2] = {{1700000000 - age, 0}, {1700000000 - age, 0}};
    utimensat(AT_FDCWD, path.c_str(), t, 0);
}

const directory_name_* table() { return reinterpret_cast<const directory_name_*>(table_buf()); }

strings names_of(const directory_name_& d)
{
    strings out;
    for (const email_name_& n : d.m_email_name)
        if (n.ch_name[0])
            out.push_back(utf16_to_utf8(n.ch_name));
    return out;
}

}  // namespace

// Folders that are no dotted addresses are left out; then in a folder of 1005
// mails the newest thousand are listed, and a rescan sees the store gone.
TEST(EmailFile, RoutersInAddressOrderAndMailsNewestFirst)
{
    ASSERT_TRUE(rescan && table_buf && ip_of && find && count && module_entry<void>(dll, "test_4"));
    scratch_dir dir;
    for (const char* d : {"10.0.0.2", "9.1.1.1", "192.168.1.1/sub", "attach", "1.2.3", "300.1.1.1",
                          "1.2.3.4x", " 1.2.3.4"})
        fs::create_directories(std::string("mail_save/") + d);
    write_file("mail_save/8.8.8.8", "a file, not a folder");
    const std::string chinese80 = repeat("邮", 80);  // 240 bytes, near the file system's 255
    mail("mail_save/10.0.0.2/b.eml", 30);
    mail("mail_save/10.0.0.2/a.eml", 10);
    mail("mail_save/10.0.0.2/c.eml", 10);                 // same time as a: later name first
    mail("mail_save/10.0.0.2/.incoming.tmp", 0);          // being written
    mail("mail_save/10.0.0.2/\xd6\xd0\xce\xc4.eml", 20);  // GB18030 name
    mail("mail_save/10.0.0.2/" + chinese80, 40);
    mail("mail_save/10.0.0.2/" + std::string(200, 'x'), 5);  // does not fit a record
    mail("mail_save/192.168.1.1/only.eml", 1);

    rescan();
    struct {
        const char* dir;
        uint32_t ip;
        strings names;
    } want[] = {
        {"9.1.1.1", 0x01010109u, {}},
        {"10.0.0.2", 0x0200000Au, {"c.eml", "a.eml", "中文.eml", "b.eml", chinese80}},
        {"192.168.1.1", 0x0101A8C0u, {"only.eml"}},
    };
    int i = 0;
    for (const auto& w : want) {
        SCOPED_TRACE(w.dir);
        EXPECT_EQ(utf16_to_utf8(table()[i].DirectoryName), w.dir);
        EXPECT_EQ(table()[i].int_ip, w.ip);
        EXPECT_EQ(names_of(table()[i]), w.names);
        int pos = -2;
        EXPECT_EQ(find(static_cast<int>(w.ip), &pos), 0);
        EXPECT_EQ(pos, i++);
        EXPECT_EQ(count(pos), static_cast<int>(w.names.size()));
    }
    EXPECT_EQ(table()[i].DirectoryName[0], 0);
    int pos = 7;
    EXPECT_EQ(find(0x04030201, &pos), -1);
    EXPECT_EQ(pos, -1);
    for (int bad : {-1, 3, 1000})
        EXPECT_EQ(count(bad), 0);

    fs::remove_all("mail_save");
    fs::create_directories("mail_save/127.0.0.2");
    for (int k = 0; k < 1005; ++k)
        mail("mail_save/127.0.0.2/m" + std::to_string(k) + ".eml", k);  // m0 newest
    rescan();
    ASSERT_EQ(find(0x0200007F, &pos), 0);
    EXPECT_EQ(count(pos), 1000);
    strings names = names_of(table()[pos]);
    ASSERT_EQ(names.size(), 1000u);
    EXPECT_EQ(names.front(), "m0.eml");
    EXPECT_EQ(names.back(), "m999.eml");

    fs::remove_all("mail_save");  // no store at all
    rescan();
    EXPECT_EQ(find(0x0200007F, &pos), -1);
    EXPECT_EQ(table()[0].DirectoryName[0], 0);

    EXPECT_EQ(static_cast<uint32_t>(ip_of(utf16_from_utf8("255.255.255.255").data())), 0xFFFFFFFFu);
    EXPECT_EQ(ip_of(nullptr), 0);
}
