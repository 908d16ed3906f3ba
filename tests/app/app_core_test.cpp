#include "base/config.h"
#include "base/copy.h"
#include "base/language.h"
#include "base/other_func.h"
#include "base/utf8_cut.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include <sys/stat.h>

namespace {

std::string record_bytes(const config_info_& info)
{
    return std::string(reinterpret_cast<const char*>(&info), sizeof info);
}

config_info_ sample_config()
{
    config_info_ info {};
    config_set_field(info.user, "root");
    config_set_field(info.pass, "secret");
    config_set_field(info.ip, "127.0.0.1");
    config_set_field(info.sql_port, "3307");
    config_set_field(info.udp_port, "514");
    return info;
}

}  // namespace

TEST(Config, MissingFileGivesEmptyFields)
{
    scratch_dir dir;
    config_info_ info = sample_config();
    EXPECT_EQ(config_read_startup(CONFIG_FILE, info), -1);
    EXPECT_STREQ(info.user, "");
    EXPECT_STREQ(info.ip, "");
    EXPECT_STREQ(info.udp_port, "514") << "the start-up reader keeps udp_port";
    EXPECT_EQ(config_read_exact(CONFIG_FILE, info), -1);
    EXPECT_STREQ(info.udp_port, "");
}

TEST(Config, RoundTripIsByteForByte)
{
    scratch_dir dir;
    config_info_ info = sample_config();
    ASSERT_EQ(config_write(CONFIG_FILE, info), 0);
    EXPECT_EQ(read_file(CONFIG_FILE), record_bytes(info));

    config_info_ back {};
    ASSERT_EQ(config_read_exact(CONFIG_FILE, back), 0);
    EXPECT_EQ(record_bytes(back), record_bytes(info));
    ASSERT_EQ(config_read_startup(CONFIG_FILE, back), 0);
    EXPECT_EQ(record_bytes(back), record_bytes(info));
}

TEST(Config, WrongSizesAreHandledWithinTheRecord)
{
    scratch_dir dir;
    config_info_ info = sample_config();
    std::string full = record_bytes(info);
    for (std::size_t size : {499u, 501u}) {
        std::string bytes = full;
        bytes.resize(size, 'x');
        write_file(CONFIG_FILE, bytes);
        config_info_ exact = sample_config();
        EXPECT_EQ(config_read_exact(CONFIG_FILE, exact), -1) << size;
        EXPECT_STREQ(exact.user, "") << size;

        config_info_ startup {};
        ASSERT_EQ(config_read_startup(CONFIG_FILE, startup), 0) << size;
        std::string expected = full.substr(0, std::min<std::size_t>(size, 500));
        expected.resize(500, '\0');
        EXPECT_EQ(record_bytes(startup), expected) << size;
    }
    write_file(CONFIG_FILE, "");
    EXPECT_EQ(config_read_startup(CONFIG_FILE, info), -1) << "an empty file is a failed read";
    write_file(CONFIG_FILE, "ab");
    ASSERT_EQ(config_read_startup(CONFIG_FILE, info), 0);
    EXPECT_STREQ(info.user, "ab");
    EXPECT_STREQ(info.udp_port, "") << "a short file zero-fills the rest";
}

TEST(Config, LongEntriesAreCutTo98Bytes)
{
    config_info_ info {};
    std::memset(&info, 'z', sizeof info);
    config_set_field(info.user, std::string(120, 'a'));
    EXPECT_EQ(std::string(info.user), std::string(98, 'a'));
    EXPECT_EQ(info.user[98], '\0');
    EXPECT_EQ(info.user[99], '\0');
    EXPECT_EQ(info.pass[0], 'z') << "the neighbouring field is untouched";

    // 40 three-byte characters: the cut falls before the character that does
    // not fit whole.
    std::string han;
    for (int i = 0; i < 40; ++i)
        han += "数";
    config_set_field(info.pass, han);
    EXPECT_EQ(std::strlen(info.pass), 96u);
}

TEST(Config, RewriteIsAtomicAndPrivate)
{
    scratch_dir dir;
    config_info_ info = sample_config();
    ASSERT_EQ(config_write(CONFIG_FILE, info), 0);
    struct stat st {};
    ASSERT_EQ(stat(CONFIG_FILE, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A rewrite that cannot complete leaves the old file whole: make the
    // temporary name a directory so the writer cannot create it.
    std::filesystem::create_directory(std::string(CONFIG_FILE) + ".tmp");
    config_info_ other = info;
    config_set_field(other.user, "someone");
    EXPECT_EQ(config_write(CONFIG_FILE, other), -1);
    EXPECT_EQ(read_file(CONFIG_FILE), record_bytes(info));
    std::filesystem::remove(std::string(CONFIG_FILE) + ".tmp");

    ASSERT_EQ(config_write(CONFIG_FILE, other), 0);
    EXPECT_EQ(read_file(CONFIG_FILE), record_bytes(other));
    EXPECT_FALSE(std::filesystem::exists(std::string(CONFIG_FILE) + ".tmp"));
}

class TimeZone : public ::testing::Test {
protected:
    void use(const char* tz)
    {
        setenv("TZ", tz, 1);
        tzset();
    }
    void TearDown() override
    {
        unsetenv("TZ");
        tzset();
    }
};

TEST_F(TimeZone, ConvertTimeShowsLocalWallClock)
{
    use("Asia/Shanghai");
    EXPECT_STREQ(ConvertTime(0), "1970-01-01 16:00:00");
    EXPECT_STREQ(ConvertTime(28800), "1970-01-02 00:00:00");
    use("UTC");
    EXPECT_STREQ(ConvertTime(0), "1970-01-01 08:00:00");
    use("America/New_York");
    // 2026-07-01 12:00:00 UTC, stored as Unix time minus 28,800.
    EXPECT_STREQ(ConvertTime(1782907200u - 28800u), "2026-07-01 08:00:00");
    char buf[50];
    ConvertTime_r(1782907200u - 28800u, buf, sizeof buf);
    EXPECT_STREQ(buf, "2026-07-01 08:00:00");
}

TEST(Conversions, Addresses)
{
    EXPECT_STREQ(convert_ip(0), "0.0.0.0");
    EXPECT_STREQ(convert_ip_2(0), "0.0.0.0");
    EXPECT_STREQ(convert_ip(0x01020304), "1.2.3.4");
    EXPECT_STREQ(convert_ip_2(0x01020304), "4.3.2.1");
    EXPECT_STREQ(convert_ip(0xC0A80101), "192.168.1.1");
    EXPECT_STREQ(convert_ip_2(0x0101A8C0), "192.168.1.1");
    EXPECT_STREQ(convert_ip(0xFFFFFFFF), "255.255.255.255");
    char buf[16];
    convert_ip_2_r(0x0101A8C0, buf, sizeof buf);
    EXPECT_STREQ(buf, "192.168.1.1");
}

TEST(Conversions, WorkingDirectoryOfAnyLength)
{
    scratch_dir dir;
    std::filesystem::path deep = dir.path();
    std::string part(60, 'd');
    for (int i = 0; i < 6; ++i)
        deep /= part + "目录";
    std::filesystem::create_directories(deep);
    std::filesystem::current_path(deep);
    EXPECT_EQ(std::string(GetExeDir()), deep.string());
    std::filesystem::current_path(dir.path());
}

TEST(Language, IdFromLocale)
{
    EXPECT_EQ(lang_id_from_locale("zh_CN.UTF-8"), 2052u);
    EXPECT_EQ(lang_id_from_locale("zh_SG"), 2052u);
    EXPECT_EQ(lang_id_from_locale("zh_TW.UTF-8"), 1028u);
    EXPECT_EQ(lang_id_from_locale("zh_HK.Big5"), 1028u);
    EXPECT_EQ(lang_id_from_locale("en_US.UTF-8"), 1033u);
    EXPECT_EQ(lang_id_from_locale("C"), 1033u);
    EXPECT_EQ(lang_id_from_locale(nullptr), 1033u);
}

TEST(Utf8Cut, NeverSplitsACharacter)
{
    EXPECT_EQ(utf8_cut("abc", 5), "abc");
    EXPECT_EQ(utf8_cut("ab数", 4), "ab");
    EXPECT_EQ(utf8_cut("ab数", 5), "ab数");
    EXPECT_EQ(utf8_cut("a\xF0\x9F\x98\x80", 4), "a");
    char buf[4];
    utf8_copy(buf, sizeof buf, "x数y");
    EXPECT_STREQ(buf, "x") << "three bytes of room: the character does not fit";
    char wide[5];
    utf8_copy(wide, sizeof wide, "x数y");
    EXPECT_STREQ(wide, "x数");
}

TEST(CopyFile, CopiesEverySizeExactly)
{
    scratch_dir dir;
    for (std::size_t size : {0u, 399u, 400u, 401u, 800u, 1234u}) {
        std::string bytes;
        for (std::size_t i = 0; i < size; ++i)
            bytes += static_cast<char>((i * 7 + size) & 0xFF);
        write_file("src", bytes);
        write_file("des", std::string(2000, 'o'));
        ASSERT_EQ(CopyFile("src", "des"), 0) << size;
        EXPECT_EQ(read_file("des"), bytes) << size;
    }
}

TEST(CopyFile, MissingSourceAndSameFile)
{
    scratch_dir dir;
    write_file("des", "keep me");
    EXPECT_EQ(CopyFile("nothing-here", "des"), -1);
    EXPECT_EQ(read_file("des"), "keep me");

    EXPECT_EQ(CopyFile("des", "des"), 0);
    EXPECT_EQ(read_file("des"), "keep me") << "copying a file onto itself keeps it";
    std::filesystem::create_hard_link("des", "link");
    EXPECT_EQ(CopyFile("link", "des"), 0);
    EXPECT_EQ(read_file("des"), "keep me");

    std::filesystem::create_directory("folder");
    EXPECT_EQ(CopyFile("des", "folder"), -1) << "an uncreatable destination fails";
}
