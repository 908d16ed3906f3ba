#include "base/config.h"
#include "base/copy.h"
#include "base/language.h"
#include "base/utf8_cut.h"
#include "support/config_record.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include <sys/stat.h>

const config_info_ SAMPLE = config_of("127.0.0.1", "root", "secret", "3307", "514");

// The start-up reader takes what there is of the first 500 bytes (-1 for a
// missing or empty file, which keeps udp_port); the pop-up reader takes
// exactly 500 bytes or clears everything.
TEST(Config, BothReadersOnFilesOfEverySize)
{
    scratch_dir dir;
    const std::string full = bytes_of(SAMPLE);
    for (long size : {-1L, 0L, 2L, 499L, 500L, 501L}) {
        SCOPED_TRACE(size);
        std::filesystem::remove(CONFIG_FILE);
        if (size >= 0)
            write_file(CONFIG_FILE, (full + "x").substr(0, size));
        std::string expected =
            size > 0 ? full.substr(0, std::min(size, 500L)) : std::string(400, '\0') + "514";
        expected.resize(500, '\0');
        config_info_ startup = SAMPLE, exact = SAMPLE;
        EXPECT_EQ(config_read_startup(CONFIG_FILE, startup), size > 0 ? 0 : -1);
        EXPECT_EQ(bytes_of(startup), expected);
        EXPECT_EQ(config_read_exact(CONFIG_FILE, exact), size == 500 ? 0 : -1);
        EXPECT_EQ(bytes_of(exact), size == 500 ? full : std::string(500, '\0'));
    }
}

TEST(Config, LongEntriesAreCutTo98BytesOnACharacterBoundary)
{
    config_info_ info {};
    std::memset(&info, 'z', sizeof info);
    config_set_field(info.user, std::string(120, 'a'));
    EXPECT_EQ(std::string(info.user), std::string(98, 'a'));
    EXPECT_EQ(info.user[99], '\0');
    EXPECT_EQ(info.pass[0], 'z') << "the neighbouring field is untouched";
    std::string han;
    for (int i = 0; i < 40; ++i)
        han += "数";
    config_set_field(info.pass, han);
    EXPECT_EQ(std::strlen(info.pass), 96u);
}

TEST(Config, RewriteIsAtomicAndPrivate)
{
    scratch_dir dir;
    ASSERT_EQ(config_write(CONFIG_FILE, SAMPLE), 0);
    struct stat st { };
    ASSERT_EQ(stat(CONFIG_FILE, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A rewrite that cannot complete leaves the old file whole: make the
    // temporary name a directory so the writer cannot create it.
    const std::string tmp = std::string(CONFIG_FILE) + ".tmp";
    std::filesystem::create_directory(tmp);
    config_info_ other = SAMPLE;
    config_set_field(other.user, "someone");
    EXPECT_EQ(config_write(CONFIG_FILE, other), -1);
    EXPECT_EQ(read_file(CONFIG_FILE), bytes_of(SAMPLE));
}

TEST(Language, IdFromLocale)
{
    for (auto [locale, id] : {std::pair {"zh_CN.UTF-8", 2052u},
                              {"zh_SG", 2052u},
                              {"zh_TW.UTF-8", 1028u},
                              {"zh_HK.Big5", 1028u},
                              {"en_US.UTF-8", 1033u}})
        EXPECT_EQ(lang_id_from_locale(locale), id) << locale;
    EXPECT_EQ(lang_id_from_locale(nullptr), 1033u);
}

TEST(Utf8Cut, NeverSplitsACharacter)
{
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

TEST(CopyFile, CopiesEverySizeExactlyAndFailsWithoutHarm)
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
    write_file("des", "keep me");
    EXPECT_EQ(CopyFile("des", "des"), 0) << "copying a file onto itself keeps it";
    std::filesystem::create_hard_link("des", "link");
    EXPECT_EQ(CopyFile("link", "des"), 0);
    EXPECT_EQ(read_file("des"), "keep me");
    std::filesystem::create_directory("folder");
    EXPECT_EQ(CopyFile("des", "folder"), -1) << "an uncreatable destination fails";
}
