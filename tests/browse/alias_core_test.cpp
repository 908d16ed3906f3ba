// Aliases and the reversed-source list without a display: the table and its
// file "rename", the list and its file "reverse", the statements of the tree's
// pop-up menu and, with the test database, the key taken from a record.
#include "browse/rename_table.h"
#include "browse_db.h"
#include "storage/reverse_source.h"
#include "storage/tree_delete.h"
#include "support/scratch_dir.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

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

bool valid_utf8(const std::string& s) { return g_utf8_validate(s.data(), s.size(), nullptr); }

std::string repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

ino_t inode_of(const char* path)
{
    struct stat st {};
    return ::stat(path, &st) == 0 ? st.st_ino : 0;
}

std::string key_record(const std::string& key) { return key + std::string(300 - key.size(), '\0'); }

class Rename : public ::testing::Test {
protected:
    scratch_dir dir;
    void SetUp() override { clear_rename_table(); }
};

class Reverse : public ::testing::Test {
protected:
    scratch_dir dir;
    void SetUp() override { release_list(); }
    void TearDown() override { release_list(); }
};

}  // namespace

TEST_F(Rename, FileWrittenByOneRunIsLoadedByTheNextByteForByte)
{
    ASSERT_EQ(set_rename(A, "core router"), 0);
    ASSERT_EQ(set_rename(B, "边界路由器"), 1);
    // Bytes after a terminator carry no meaning, but they survive.
    std::memcpy(name_save[0].name + 20, "\x01\xFEjunk", 6);
    name_save[1].ip = 0x89ABCDEF;
    ASSERT_EQ(write_rename_file(RENAME_FILE), 0);

    std::string bytes = read_file(RENAME_FILE);
    ASSERT_EQ(bytes.size(), 80800u);
    EXPECT_EQ(bytes.substr(0, 16), std::string("\xC0\xA8\x01\x01" "core router\0", 16));
    EXPECT_EQ(bytes.substr(404, 4), "\xEF\xCD\xAB\x89");  // little-endian
    EXPECT_EQ(bytes.substr(808, 4), "\xFF\xFF\xFF\xFF");  // a free record

    name_store_ before[RENAME_RECORDS];
    std::memcpy(before, name_save, sizeof before);
    clear_rename_table();  // the next run starts empty
    ASSERT_EQ(read_rename_file(RENAME_FILE), 0);
    EXPECT_EQ(std::memcmp(before, name_save, sizeof before), 0);
    EXPECT_EQ(shown(0x89ABCDEF), "边界路由器");
    ASSERT_EQ(write_rename_file(RENAME_FILE), 0);
    EXPECT_EQ(read_file(RENAME_FILE), bytes);
}

TEST_F(Rename, FileOfAnyOtherLengthIsIgnored)
{
    ASSERT_EQ(set_rename(A, "kept"), 0);
    std::string good(80800, '\0');
    good.replace(4, 5, "file!");
    for (std::size_t size : {0ul, 404ul, 80799ul, 80801ul}) {
        std::string bytes = good;
        bytes.resize(size, 'x');
        write_file(RENAME_FILE, bytes);
        EXPECT_EQ(read_rename_file(RENAME_FILE), -1) << size;
        EXPECT_EQ(name_of(0), "kept") << size;
    }
    EXPECT_EQ(read_rename_file("missing"), -1);
    write_file(RENAME_FILE, good);
    EXPECT_EQ(read_rename_file(RENAME_FILE), 0);
    EXPECT_EQ(name_of(0), "file!");
}

TEST_F(Rename, RenamingTwiceReusesTheRecordClearingKeepsTheName)
{
    EXPECT_EQ(set_rename(A, "one"), 0);
    EXPECT_EQ(set_rename(B, "two"), 1);
    EXPECT_EQ(set_rename(A, "uno"), 0);
    EXPECT_EQ(shown(A), "uno");
    EXPECT_EQ(get_empty_pos(), 2);

    EXPECT_EQ(set_rename(A, ""), 0);
    EXPECT_EQ(name_save[0].ip, RENAME_NO_IP);
    EXPECT_EQ(name_of(0), "uno");
    EXPECT_EQ(shown(A), "-");
    EXPECT_EQ(set_rename(A, "again"), 2);  // a removed record is never reused

    // Clearing a router that never had an alias marks the first empty
    // record's ip and leaves it empty.
    EXPECT_EQ(set_rename(0x0A, ""), 3);
    EXPECT_TRUE(rename_record_empty(3));
    EXPECT_EQ(get_empty_pos(), 3);
}

TEST_F(Rename, RecordZeroEmptyShowsNoAliasAtAll)
{
    ASSERT_EQ(set_rename(A, "a"), 0);
    ASSERT_EQ(set_rename(B, "b"), 1);
    std::memset(name_save[0].name, 0, sizeof name_save[0].name);
    EXPECT_EQ(shown(A), "-");
    EXPECT_EQ(shown(B), "-");
}

TEST_F(Rename, The201stAliasIsRefusedAndLongAliasesAreCutAtACharacter)
{
    for (unsigned i = 0; i < 200; ++i)
        ASSERT_EQ(set_rename(1000 + i, "a" + repeat("用", 150)), static_cast<int>(i));
    EXPECT_EQ(name_of(0).size(), 397u);  // 1 + 132 characters; a 133rd would pass 399
    EXPECT_TRUE(valid_utf8(name_of(0)));
    EXPECT_EQ(get_empty_pos(), -1);
    name_store_ before[RENAME_RECORDS];
    std::memcpy(before, name_save, sizeof before);
    EXPECT_EQ(set_rename(5000, "one too many"), -1);
    EXPECT_EQ(set_rename(5000, ""), -1);
    EXPECT_EQ(std::memcmp(before, name_save, sizeof before), 0);
    EXPECT_EQ(set_rename(1199, std::string(500, 'y')), 199);  // a router with a record still can
    EXPECT_EQ(name_of(199), std::string(399, 'y'));
}

TEST_F(Rename, FileIsReplacedAtomically)
{
    ASSERT_EQ(set_rename(A, "first"), 0);
    ASSERT_EQ(write_rename_file(RENAME_FILE), 0);
    ino_t old_inode = inode_of(RENAME_FILE);
    ASSERT_EQ(set_rename(A, "second"), 0);
    ASSERT_EQ(write_rename_file(RENAME_FILE), 0);
    EXPECT_NE(inode_of(RENAME_FILE), old_inode);  // a new file took the name
    EXPECT_FALSE(fs::exists("rename.tmp"));

    // When the new file cannot be made, the old one stays whole.
    std::string second = read_file(RENAME_FILE);
    fs::create_directory("rename.tmp");
    ASSERT_EQ(set_rename(A, "third"), 0);
    EXPECT_EQ(write_rename_file(RENAME_FILE), -1);
    EXPECT_EQ(read_file(RENAME_FILE), second);
}

TEST_F(Reverse, KeyIsTheFirstWordCutAtACharacterBoundary)
{
    EXPECT_EQ(reverse_key("nat_rule changed by admin"), "nat_rule");
    EXPECT_EQ(reverse_key("nospaces"), "nospaces");
    std::string long_word = "k" + repeat("字", 120) + " tail";
    EXPECT_EQ(reverse_key(long_word).size(), 298u);  // 1 + 99 characters
    EXPECT_TRUE(valid_utf8(reverse_key(long_word)));
    EXPECT_EQ(reverse_key(std::string(300, 'z')).size(), 299u);

    // The row reader compares keys cut the same way.
    toggle_reverse_key(reverse_key(long_word));
    EXPECT_TRUE(source_is_reversed(long_word.substr(0, long_word.find(' ')).c_str()));
    EXPECT_FALSE(source_is_reversed("k"));
}

TEST_F(Reverse, ToggleAddsInOrderRemovesAndWritesOneRecordPerEntry)
{
    EXPECT_EQ(toggle_reverse_key("nat_rule"), 1);
    EXPECT_EQ(toggle_reverse_key("x"), 1);
    EXPECT_EQ(toggle_reverse_key("dhcp"), 1);
    EXPECT_EQ(toggle_reverse_key("x"), 0);
    EXPECT_STREQ(Find_list("dhcp"), "dhcp");
    EXPECT_EQ(Find_list("dhc"), nullptr);
    ASSERT_EQ(write_reverse_file(), 0);
    EXPECT_EQ(read_file(REVERSE_FILE), key_record("nat_rule") + key_record("dhcp"));
    EXPECT_FALSE(fs::exists("reverse.tmp"));

    release_list();
    EXPECT_EQ(Find_list("dhcp"), nullptr);
    ASSERT_EQ(read_reverse_file(), 0);
    EXPECT_EQ(reverse_list_entries(), (strings {"nat_rule", "dhcp"}));

    // When the new file cannot be made, the old one stays whole.
    fs::create_directory("reverse.tmp");
    toggle_reverse_key("two");
    EXPECT_EQ(write_reverse_file(), -1);
    EXPECT_EQ(read_file(REVERSE_FILE).size(), 600u);
}

TEST_F(Reverse, FileOfWrongLengthIsIgnoredAndRecordsReadAtMost299Bytes)
{
    toggle_reverse_key("stale");
    write_file(REVERSE_FILE, std::string(301, 'a'));
    EXPECT_EQ(read_reverse_file(), -1);
    EXPECT_TRUE(reverse_list_entries().empty());
    write_file(REVERSE_FILE, "");
    EXPECT_EQ(read_reverse_file(), -1);

    // Bytes after a terminator mean nothing; a record without one gives 299.
    write_file(REVERSE_FILE, "first" + std::string(1, '\0') + std::string(294, 'g') + std::string(300, 'x'));
    ASSERT_EQ(read_reverse_file(), 0);
    EXPECT_EQ(reverse_list_entries(), (strings {"first", std::string(299, 'x')}));
    ASSERT_EQ(write_reverse_file(), 0);
    EXPECT_EQ(read_file(REVERSE_FILE).substr(300), std::string(299, 'x') + '\0');
}

TEST(TreeDelete, StatementsAndMailFolder)
{
    EXPECT_EQ(delete_tree_item_statement(A, 128), "delete  from LogTab where (dwIP = '16885952') ");
    EXPECT_EQ(delete_tree_item_statement(A, 4),
              "delete  from LogTab where (dwIP = '16885952') and (dwLogType = '4')");
    EXPECT_EQ(router_mail_dir(A), "mail_save/192.168.1.1/");
    EXPECT_EQ(record_content_statement(7), "select cLogContent from LogTab  where (id_inc = '7') ");
}

TEST_F(Reverse, SameStoredRecordTwiceAddsThenRemovesItsKey)
{
    if (!connect_test_db())
        GTEST_SKIP() << "no test database";
    stored_row r;
    r.content = "nat_rule changed on wan";
    ASSERT_TRUE(store_row(r));  // id 1
    EXPECT_EQ(reverse_source_of_record(1), 1);
    EXPECT_EQ(read_file(REVERSE_FILE), key_record("nat_rule"));
    EXPECT_EQ(reverse_source_of_record(1), 0);
    EXPECT_TRUE(fs::exists(REVERSE_FILE));
    EXPECT_EQ(read_file(REVERSE_FILE), "");
    EXPECT_EQ(reverse_source_of_record(99), -1);  // no such record: nothing changes
    EXPECT_EQ(read_file(REVERSE_FILE), "");
}
