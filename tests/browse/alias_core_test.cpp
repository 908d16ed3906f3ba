// Aliases and the reversed-source list without a display: the table and its
// file "rename", the list and its file "reverse".
#include "browse/rename_table.h"
#include "storage/reverse_source.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using strings = std::vector<std::string>;

namespace {

const unsigned A = 0x0101A8C0;  // 192.168.1.1
const unsigned B = 0x0201A8C0;  // 192.168.1.2

std::string name_of(int pos) { return std::string(rename_name(pos)); }

std::string shown(unsigned ip)
{
    std::string_view name;
    return rename_shown(ip, name) ? std::string(name) : "-";
}

std::string repeat(const std::string& s, int n) { return n > 0 ? s + repeat(s, n - 1) : ""; }

std::string key_record(const std::string& key) { return key + std::string(300 - key.size(), '\0'); }

class AliasFiles : public ::testing::Test {
protected:
    scratch_dir dir;
    void SetUp() override
    {
        clear_rename_table();
        release_list();
    }
    void TearDown() override { release_list(); }
};

}  // namespace

TEST_F(AliasFiles, FileLayoutIsLoadedByTheNextRun)
{
    ASSERT_EQ(set_rename(A, "core router"), 0);
    ASSERT_EQ(set_rename(B, "边界路由器"), 1);
    name_save[1].ip = 0x89ABCDEF;
    ASSERT_EQ(write_rename_file(RENAME_FILE), 0);
    std::string bytes = read_file(RENAME_FILE);
    ASSERT_EQ(bytes.size(), 80800u);
    EXPECT_EQ(bytes.substr(0, 16),
              std::string("\xC0\xA8\x01\x01"
                          "core router\0",
                          16));
    EXPECT_EQ(bytes.substr(404, 4), "\xEF\xCD\xAB\x89");  // little-endian
    EXPECT_EQ(bytes.substr(808, 4), "\xFF\xFF\xFF\xFF");  // a free record

    // Written back byte for byte: fuzz/rename_file. The next run starts empty.
    clear_rename_table();
    ASSERT_EQ(read_rename_file(RENAME_FILE), 0);
    EXPECT_EQ(shown(0x89ABCDEF), "边界路由器");

    // A file of any other length leaves the table as it was.
    for (std::size_t size : {0ul, 404ul, 80799ul, 80801ul}) {
        write_file(RENAME_FILE, std::string(size, 'x'));
        EXPECT_EQ(read_rename_file(RENAME_FILE), -1) << size;
        EXPECT_EQ(name_of(0), "core router") << size;
    }
    EXPECT_EQ(read_rename_file("missing"), -1);
}

TEST_F(AliasFiles, RenamingTwiceReusesTheRecordClearingKeepsTheName)
{
    EXPECT_EQ(set_rename(A, "one"), 0);
    EXPECT_EQ(set_rename(B, "two"), 1);
    EXPECT_EQ(set_rename(A, "uno"), 0);
    EXPECT_EQ(shown(A), "uno");
    EXPECT_EQ(set_rename(A, ""), 0);
    EXPECT_EQ(name_save[0].ip, RENAME_NO_IP);
    EXPECT_EQ(name_of(0), "uno");
    EXPECT_EQ(shown(A), "-");
    EXPECT_EQ(set_rename(A, "again"), 2);  // a removed record is never reused

    // Record 0 empty: no alias shows at all.
    std::memset(name_save[0].name, 0, sizeof name_save[0].name);
    EXPECT_EQ(shown(B), "-");
    EXPECT_EQ(shown(A), "-");
}

TEST_F(AliasFiles, The201stAliasIsRefusedAndLongAliasesAreCut)
{
    for (unsigned i = 0; i < 200; ++i)
        ASSERT_EQ(set_rename(1000 + i, "r"), static_cast<int>(i));
    name_store_ before[RENAME_RECORDS];
    std::memcpy(before, name_save, sizeof before);
    EXPECT_EQ(set_rename(5000, "one too many"), -1);
    EXPECT_EQ(set_rename(5000, ""), -1);
    EXPECT_EQ(std::memcmp(before, name_save, sizeof before), 0);
    EXPECT_EQ(set_rename(1199, std::string(500, 'y')), 199);  // a router with a record still can
    EXPECT_EQ(name_of(199), std::string(399, 'y'));
}

// When the new file cannot be made beside the old one, the old one stays whole.
TEST_F(AliasFiles, FilesAreReplacedAtomically)
{
    ASSERT_EQ(set_rename(A, "first"), 0);
    ASSERT_EQ(write_rename_file(RENAME_FILE), 0);
    toggle_reverse_key("one");
    ASSERT_EQ(write_reverse_file(), 0);
    const std::string rename_bytes = read_file(RENAME_FILE);
    fs::create_directory("rename.tmp");
    fs::create_directory("reverse.tmp");
    ASSERT_EQ(set_rename(A, "third"), 0);
    toggle_reverse_key("two");
    EXPECT_EQ(write_rename_file(RENAME_FILE), -1);
    EXPECT_EQ(write_reverse_file(), -1);
    EXPECT_EQ(read_file(RENAME_FILE), rename_bytes);
    EXPECT_EQ(read_file(REVERSE_FILE), key_record("one"));
}

TEST_F(AliasFiles, ReverseKeyIsTheFirstWordAndTheRowReaderCutsItAlike)
{
    EXPECT_EQ(reverse_key("nat_rule changed by admin"), "nat_rule");
    std::string long_word = "k" + repeat("字", 120) + " tail";
    EXPECT_EQ(reverse_key(std::string(300, 'z')).size(), 299u);

    // The row reader compares keys cut the same way, whole keys only.
    toggle_reverse_key(reverse_key(long_word));
    EXPECT_TRUE(source_is_reversed(long_word.substr(0, long_word.find(' ')).c_str()));
    EXPECT_FALSE(source_is_reversed("k"));
    EXPECT_EQ(Find_list("k"), nullptr);
}

TEST_F(AliasFiles, ReverseFileHoldsOneRecordPerKey)
{
    EXPECT_EQ(toggle_reverse_key("nat_rule"), 1);
    EXPECT_EQ(toggle_reverse_key("x"), 1);
    EXPECT_EQ(toggle_reverse_key("dhcp"), 1);
    EXPECT_EQ(toggle_reverse_key("x"), 0);
    ASSERT_EQ(write_reverse_file(), 0);
    EXPECT_EQ(read_file(REVERSE_FILE), key_record("nat_rule") + key_record("dhcp"));

    // Records are read up to their first zero byte or their 299th byte;
    // lengths and repeated keys: fuzz/reverse_file.
    write_file(REVERSE_FILE,
               "first" + std::string(1, '\0') + std::string(294, 'g') + std::string(300, 'x'));
    ASSERT_EQ(read_reverse_file(), 0);
    EXPECT_EQ(reverse_list_entries(), (strings {"first", std::string(299, 'x')}));
    EXPECT_STREQ(Find_list("first"), "first");
    ASSERT_EQ(write_reverse_file(), 0);
    EXPECT_EQ(read_file(REVERSE_FILE).substr(300), std::string(299, 'x') + '\0');
}
