// "email_file.dll" loaded from the run directory as the program loads it,
// over mail stores built in a scratch working directory.

#include "base/mail_records.h"
#include "base/utf16.h"
#include "support/scratch_dir.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct module_api {
    void (*rescan)();
    char* (*buf)();
    int (*ip_of)(gunichar2*);
    int (*find)(int, int*);
    int (*count)(int);
    int (*test_4)(...);
};

const module_api& api()
{
    static void* h = dlopen(RUN_DIR "/email_file.dll", RTLD_NOW | RTLD_LOCAL);
    auto sym = [](const char* name) { return h ? dlsym(h, name) : nullptr; };
    static module_api a{reinterpret_cast<void (*)()>(sym("Get_Email_Name")),
                        reinterpret_cast<char* (*)()>(sym("GetFileName_buf")),
                        reinterpret_cast<int (*)(gunichar2*)>(sym("ChIp_to_int_unicode_turn")),
                        reinterpret_cast<int (*)(int, int*)>(sym("FindPosByIp_interface")),
                        reinterpret_cast<int (*)(int)>(sym("GetFileCounterByIP_interface")),
                        reinterpret_cast<int (*)(...)>(sym("test_4"))};
    return a;
}

// A mail file with a modification time `age` seconds in the past.
void mail(const std::string& path, int age)
{
    write_file(path, "Subject: x\r\n\r\n");
    struct timespec times[2] = {{1700000000 - age, 0}, {1700000000 - age, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

const directory_name_* table()
{
    return reinterpret_cast<const directory_name_*>(api().buf());
}

std::vector<std::string> names_of(const directory_name_& d)
{
    std::vector<std::string> out;
    for (const email_name_& n : d.m_email_name) {
        if (!n.ch_name[0])
            break;
        out.push_back(utf16_to_utf8(n.ch_name));
    }
    return out;
}

class EmailFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(api().rescan && api().buf && api().ip_of && api().find && api().count && api().test_4)
            << dlerror();
    }
    scratch_dir dir_;
};

TEST_F(EmailFile, RoutersInAddressOrderAndMailsNewestFirst)
{
    fs::create_directories("mail_save/10.0.0.2");
    fs::create_directories("mail_save/9.1.1.1");
    fs::create_directories("mail_save/192.168.1.1/sub"); // a folder inside is no mail
    for (const char* not_router : {"attach", "1.2.3", "300.1.1.1", "1.2.3.4x", " 1.2.3.4"})
        fs::create_directories(std::string("mail_save/") + not_router);
    write_file("mail_save/8.8.8.8", "a file, not a folder");
    // 80 Chinese characters: 240 bytes, near the file system's 255.
    std::string chinese80;
    for (int i = 0; i < 80; ++i)
        chinese80 += "邮";
    std::string too_long(200, 'x');
    mail("mail_save/10.0.0.2/b.eml", 30);
    mail("mail_save/10.0.0.2/a.eml", 10);
    mail("mail_save/10.0.0.2/c.eml", 10);           // same time as a: later name first
    mail("mail_save/10.0.0.2/.incoming.tmp", 0);    // hidden: being written
    mail("mail_save/10.0.0.2/\xd6\xd0\xce\xc4.eml", 20); // GB18030 name
    mail("mail_save/10.0.0.2/" + chinese80, 40);
    mail("mail_save/10.0.0.2/" + too_long, 5);      // 200 units do not fit a record
    mail("mail_save/192.168.1.1/only.eml", 1);

    api().rescan();
    const directory_name_* t = table();
    struct {
        const char* dir;
        uint32_t ip;
        std::vector<std::string> names;
    } want[] = {
        {"9.1.1.1", 0x01010109u, {}},
        {"10.0.0.2", 0x0200000Au, {"c.eml", "a.eml", "中文.eml", "b.eml", chinese80}},
        {"192.168.1.1", 0x0101A8C0u, {"only.eml"}},
    };
    int i = 0;
    for (const auto& w : want) {
        SCOPED_TRACE(w.dir);
        EXPECT_EQ(utf16_to_utf8(t[i].DirectoryName), w.dir);
        EXPECT_EQ(t[i].int_ip, w.ip);
        EXPECT_EQ(names_of(t[i]), w.names);
        int pos = -2;
        EXPECT_EQ(api().find(static_cast<int>(w.ip), &pos), 0);
        EXPECT_EQ(pos, i);
        EXPECT_EQ(api().count(pos), static_cast<int>(w.names.size()));
        ++i;
    }
    EXPECT_EQ(t[i].DirectoryName[0], 0);

    int pos = 7;
    EXPECT_EQ(api().find(0x04030201, &pos), -1);
    EXPECT_EQ(pos, -1);
    for (int bad : {-1, 3, 1000})
        EXPECT_EQ(api().count(bad), 0);
    EXPECT_EQ(api().test_4(1, 2), 0);
}

TEST_F(EmailFile, NewestThousandListed)
{
    fs::create_directories("mail_save/127.0.0.2");
    for (int k = 0; k < 1005; ++k)
        mail("mail_save/127.0.0.2/m" + std::to_string(k) + ".eml", k); // m0 newest
    api().rescan();
    int pos = -1;
    ASSERT_EQ(api().find(0x0200007F, &pos), 0);
    EXPECT_EQ(api().count(pos), 1000);
    std::vector<std::string> names = names_of(table()[pos]);
    ASSERT_EQ(names.size(), 1000u);
    EXPECT_EQ(names.front(), "m0.eml");
    EXPECT_EQ(names.back(), "m999.eml");

    // A rescan sees mails removed meanwhile.
    fs::remove_all("mail_save/127.0.0.2");
    api().rescan();
    EXPECT_EQ(api().find(0x0200007F, &pos), -1);
    EXPECT_EQ(table()[0].DirectoryName[0], 0);
}

TEST_F(EmailFile, EmptyOrMissingStore)
{
    api().rescan();
    ASSERT_NE(table(), nullptr);
    EXPECT_EQ(table()[0].DirectoryName[0], 0);
    int pos = 0;
    EXPECT_EQ(api().find(0, &pos), -1);
    EXPECT_EQ(api().count(0), 0);
}

TEST_F(EmailFile, DottedAddressToDwIp)
{
    struct {
        const char* text;
        uint32_t ip;
    } cases[] = {
        {"1.2.3.4", 0x04030201u},       {"127.0.0.2", 0x0200007Fu}, {"255.255.255.255", 0xFFFFFFFFu},
        {"0.0.0.0", 0u},                {"1.2.3", 0u},              {"1.2.3.256", 0u},
        {"1.2.3.4.5", 0u},              {"a.b.c.d", 0u},            {"", 0u},
        {"1.2.3.4 ", 0u},               {"-1.2.3.4", 0u},
    };
    for (const auto& c : cases) {
        utf16_string wide = utf16_from_utf8(c.text);
        EXPECT_EQ(static_cast<uint32_t>(api().ip_of(wide.data())), c.ip) << c.text;
    }
    EXPECT_EQ(api().ip_of(nullptr), 0);
}

} // namespace
