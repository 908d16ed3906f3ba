// Aliases and the reversed-source list without a display: the table and its
// file "rename", the list and its file "reverse", the statements of the tree's
// pop-up menu and, with the test database, the key taken from a record.
#include "base/atomic_file.h"
#include "browse/rename_table.h"
#include "browse_db.h"
#include "storage/page_set.h"
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

std::vector<std::string> entries()
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < reverse_list_size(); ++i)
        out.push_back(reverse_list_entry(i));
    return out;
}

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

TEST_F(Rename, FreshTableIsEmptyAndEveryRecordFree)
{
    for (int i = 0; i < RENAME_RECORDS; ++i) {
        EXPECT_TRUE(rename_record_empty(i));
        EXPECT_EQ(name_save[i].ip, RENAME_NO_IP);
    }
    EXPECT_EQ(get_empty_pos(), 0);
    EXPECT_EQ(get_pos_by_ip(A), -1);
    EXPECT_EQ(shown(A), "-");
}

TEST_F(Rename, FileWrittenByOneRunIsLoadedByTheNextByteForByte)
{
    ASSERT_EQ(set_rename(A, "core router"), 0);
    ASSERT_EQ(set_rename(B, "边界路由器"), 1);
    // Bytes after a terminator carry no meaning, but they survive.
    std::memcpy(name_save[0].name + 20, "\x01\xFEjunk", 6);
    name_save[1].ip = 0x89ABCDEF;  // any address, every byte of it
    ASSERT_EQ(write_rename_file(RENAME_FILE), 0);

    std::string bytes = read_file(RENAME_FILE);
    ASSERT_EQ(bytes.size(), 80800u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xC0\xA8\x01\x01", 4));  // little-endian
    EXPECT_EQ(bytes.substr(4, 12), std::string("core router\0", 12));
    EXPECT_EQ(bytes.substr(404, 4), std::string("\xEF\xCD\xAB\x89", 4));
    EXPECT_EQ(bytes.substr(808, 4), std::string("\xFF\xFF\xFF\xFF", 4));  // free record

    name_store_ before[RENAME_RECORDS];
    std::memcpy(before, name_save, sizeof before);
    clear_rename_table();  // the next run starts empty
    ASSERT_EQ(read_rename_file(RENAME_FILE), 0);
    EXPECT_EQ(std::memcmp(before, name_save, sizeof before), 0);
    EXPECT_EQ(shown(A), "core router");
    EXPECT_EQ(shown(0x89ABCDEF), "边界路由器");

    // Written again unchanged, the file is the same byte for byte.
    ASSERT_EQ(write_rename_file(RENAME_FILE), 0);
    EXPECT_EQ(read_file(RENAME_FILE), bytes);
}

TEST_F(Rename, FileOfAnyOtherLengthIsIgnored)
{
    ASSERT_EQ(set_rename(A, "kept"), 0);
    std::string good(80800, '\0');
    good.replace(4, 5, "file!");  // record 0 from the file would read "file!"
    for (std::size_t size : {0ul, 404ul, 80799ul, 80801ul, 161600ul}) {
        std::string bytes = good;
        bytes.resize(size, 'x');
        write_file(RENAME_FILE, bytes);
        EXPECT_EQ(read_rename_file(RENAME_FILE), -1) << size;
        EXPECT_EQ(name_of(0), "kept") << size;
        EXPECT_EQ(name_save[0].ip, A) << size;
    }
    EXPECT_EQ(read_rename_file("missing"), -1);
    fs::create_directory("a_folder");
    EXPECT_EQ(read_rename_file("a_folder"), -1);

    write_file(RENAME_FILE, good);
    EXPECT_EQ(read_rename_file(RENAME_FILE), 0);
    EXPECT_EQ(name_of(0), "file!");
}

TEST_F(Rename, RenamingTwiceReusesTheRecordAndANewRouterTakesTheFirstEmpty)
{
    EXPECT_EQ(set_rename(A, "one"), 0);
    EXPECT_EQ(set_rename(B, "two"), 1);
    EXPECT_EQ(set_rename(A, "uno"), 0);
    EXPECT_EQ(name_of(0), "uno");
    EXPECT_EQ(shown(A), "uno");
    EXPECT_EQ(get_empty_pos(), 2);
    // A shorter name leaves no trace of the longer one before its terminator.
    EXPECT_EQ(set_rename(B, "t"), 1);
    EXPECT_EQ(name_of(1), "t");
}

TEST_F(Rename, ClearingKeepsTheNameWithIpMinusOneAndANewAliasTakesANewRecord)
{
    ASSERT_EQ(set_rename(A, "core"), 0);
    EXPECT_EQ(set_rename(A, ""), 0);
    EXPECT_EQ(name_save[0].ip, RENAME_NO_IP);
    EXPECT_EQ(name_of(0), "core");
    EXPECT_FALSE(rename_record_empty(0));
    EXPECT_EQ(shown(A), "-");
    EXPECT_EQ(set_rename(A, "core 2"), 1);  // the removed record is never reused
    EXPECT_EQ(shown(A), "core 2");
}

TEST_F(Rename, ClearingARouterWithoutAliasMarksTheFirstEmptyRecordAndLeavesItEmpty)
{
    ASSERT_EQ(set_rename(A, "a"), 0);
    EXPECT_EQ(set_rename(B, ""), 1);
    EXPECT_TRUE(rename_record_empty(1));
    EXPECT_EQ(name_save[1].ip, RENAME_NO_IP);
    EXPECT_EQ(get_empty_pos(), 1);
}

TEST_F(Rename, RecordZeroEmptyShowsNoAliasAtAll)
{
    ASSERT_EQ(set_rename(A, "a"), 0);
    ASSERT_EQ(set_rename(B, "b"), 1);
    std::memset(name_save[0].name, 0, sizeof name_save[0].name);
    EXPECT_EQ(shown(A), "-");
    EXPECT_EQ(shown(B), "-");
    int seen = 0;
    for_each_shown_rename([&](unsigned, std::string_view) { ++seen; });
    EXPECT_EQ(seen, 0);
}

TEST_F(Rename, TwoHundredAliasesFillTheTableAndThe201stIsRefused)
{
    for (unsigned i = 0; i < 200; ++i)
        ASSERT_EQ(set_rename(1000 + i, "r" + std::to_string(i)), static_cast<int>(i));
    EXPECT_EQ(get_empty_pos(), -1);
    name_store_ before[RENAME_RECORDS];
    std::memcpy(before, name_save, sizeof before);
    EXPECT_EQ(set_rename(5000, "one too many"), -1);
    EXPECT_EQ(set_rename(5000, ""), -1);
    EXPECT_EQ(std::memcmp(before, name_save, sizeof before), 0);
    // A router that has a record can still be renamed.
    EXPECT_EQ(set_rename(1199, "last"), 199);
}

TEST_F(Rename, LongAliasIsCutAtACharacterBoundary)
{
    std::string text = "a" + repeat("用", 150);  // 451 bytes
    ASSERT_EQ(set_rename(A, text), 0);
    std::string name = name_of(0);
    EXPECT_EQ(name.size(), 397u);  // 1 + 132 characters of 3 bytes; a 133rd would pass 399
    EXPECT_TRUE(valid_utf8(name));
    EXPECT_EQ(text.compare(0, name.size(), name), 0);
    EXPECT_EQ(name_save[0].name[399], '\0');

    ASSERT_EQ(set_rename(B, std::string(399, 'x')), 1);
    EXPECT_EQ(name_of(1).size(), 399u);
    ASSERT_EQ(set_rename(B, std::string(500, 'y')), 1);
    EXPECT_EQ(name_of(1), std::string(399, 'y'));
}

TEST_F(Rename, StoredNameWithoutTerminatorReadsItsFourHundredBytes)
{
    std::string bytes(80800, '\0');
    bytes.replace(0, 4, std::string("\xC0\xA8\x01\x01", 4));
    bytes.replace(4, 400, std::string(400, 'n'));
    write_file(RENAME_FILE, bytes);
    ASSERT_EQ(read_rename_file(RENAME_FILE), 0);
    EXPECT_EQ(shown(A), std::string(400, 'n'));
}

TEST_F(Rename, FileIsReplacedAtomically)
{
    ASSERT_EQ(set_rename(A, "first"), 0);
    ASSERT_EQ(write_rename_file(RENAME_FILE), 0);
    std::string first = read_file(RENAME_FILE);
    ino_t old_inode = inode_of(RENAME_FILE);
    // A reader holding the old file keeps reading all of it.
    std::ifstream held(RENAME_FILE, std::ios::binary);

    ASSERT_EQ(set_rename(A, "second"), 0);
    ASSERT_EQ(write_rename_file(RENAME_FILE), 0);
    EXPECT_NE(inode_of(RENAME_FILE), old_inode);  // a new file took the name
    EXPECT_FALSE(fs::exists("rename.tmp"));
    std::string old_bytes {std::istreambuf_iterator<char>(held), std::istreambuf_iterator<char>()};
    EXPECT_EQ(old_bytes, first);

    // When the new file cannot be made, the old one stays whole.
    std::string second = read_file(RENAME_FILE);
    fs::create_directory("rename.tmp");
    ASSERT_EQ(set_rename(A, "third"), 0);
    EXPECT_EQ(write_rename_file(RENAME_FILE), -1);
    EXPECT_EQ(read_file(RENAME_FILE), second);
}

TEST(AtomicFile, ReplacesOrLeavesAsItWas)
{
    scratch_dir dir;
    EXPECT_EQ(replace_file_atomically("f", "abc", 3), 0);
    EXPECT_EQ(read_file("f"), "abc");
    EXPECT_EQ(replace_file_atomically("f", "", 0), 0);
    EXPECT_EQ(read_file("f"), "");
    EXPECT_TRUE(fs::exists("f"));
    EXPECT_EQ(replace_file_atomically("no_such_dir/f", "x", 1), -1);
}

TEST_F(Reverse, KeyIsTheFirstWordCutAtACharacterBoundary)
{
    EXPECT_EQ(reverse_key("nat_rule changed by admin"), "nat_rule");
    EXPECT_EQ(reverse_key("nospaces"), "nospaces");
    EXPECT_EQ(reverse_key(" leading"), "");
    EXPECT_EQ(reverse_key(""), "");
    std::string long_word = "k" + repeat("字", 120) + " tail";  // 361 bytes before the blank
    std::string key = reverse_key(long_word);
    EXPECT_EQ(key.size(), 298u);  // 1 + 99 characters; the 100th would pass 299
    EXPECT_TRUE(valid_utf8(key));
    EXPECT_EQ(reverse_key(std::string(299, 'z')).size(), 299u);
    EXPECT_EQ(reverse_key(std::string(300, 'z')).size(), 299u);
}

TEST_F(Reverse, ToggleAddsInOrderAndRemoves)
{
    EXPECT_EQ(toggle_reverse_key("b"), 1);
    EXPECT_EQ(toggle_reverse_key("a"), 1);
    EXPECT_EQ(toggle_reverse_key("c"), 1);
    EXPECT_EQ(entries(), (std::vector<std::string> {"b", "a", "c"}));
    EXPECT_STREQ(Find_list("a"), "a");
    EXPECT_EQ(Find_list("d"), nullptr);
    EXPECT_EQ(Find_list("ab"), nullptr);
    EXPECT_EQ(Find_list(nullptr), nullptr);
    EXPECT_EQ(toggle_reverse_key("a"), 0);
    EXPECT_EQ(entries(), (std::vector<std::string> {"b", "c"}));
    release_list();
    EXPECT_EQ(reverse_list_size(), 0u);
    EXPECT_EQ(Find_list("b"), nullptr);
}

TEST_F(Reverse, RowReaderTestComparesTheCutKey)
{
    std::string long_word = std::string(350, 'w');
    toggle_reverse_key(reverse_key(long_word));
    toggle_reverse_key("nat_rule");
    EXPECT_TRUE(source_is_reversed("nat_rule"));
    EXPECT_TRUE(source_is_reversed(long_word.c_str()));
    EXPECT_FALSE(source_is_reversed("nat"));
    EXPECT_FALSE(source_is_reversed(nullptr));
}

TEST_F(Reverse, FileHoldsOneRecordPerEntryAndNoneForAnEmptyList)
{
    toggle_reverse_key("nat_rule");
    toggle_reverse_key("dhcp");
    ASSERT_EQ(write_reverse_file(), 0);
    std::string bytes = read_file(REVERSE_FILE);
    ASSERT_EQ(bytes.size(), 600u);
    EXPECT_EQ(bytes.substr(0, 300), "nat_rule" + std::string(292, '\0'));
    EXPECT_EQ(bytes.substr(300, 300), "dhcp" + std::string(296, '\0'));
    EXPECT_FALSE(fs::exists("reverse.tmp"));

    release_list();
    ASSERT_EQ(read_reverse_file(), 0);
    EXPECT_EQ(entries(), (std::vector<std::string> {"nat_rule", "dhcp"}));

    release_list();
    ASSERT_EQ(write_reverse_file(), 0);
    EXPECT_TRUE(fs::exists(REVERSE_FILE));
    EXPECT_EQ(read_file(REVERSE_FILE).size(), 0u);
    EXPECT_EQ(read_reverse_file(), -1);  // an empty file loads nothing
    EXPECT_EQ(reverse_list_size(), 0u);
}

TEST_F(Reverse, FileOfWrongLengthIsIgnoredAndRecordsReadUpToTheirTerminatorOr299Bytes)
{
    toggle_reverse_key("stale");
    write_file(REVERSE_FILE, std::string(301, 'a'));
    EXPECT_EQ(read_reverse_file(), -1);
    EXPECT_EQ(reverse_list_size(), 0u);
    EXPECT_EQ(read_reverse_file("missing"), -1);

    // Bytes after a terminator mean nothing; a record without one gives 299.
    std::string rec1 = "first" + std::string(1, '\0') + std::string(294, 'g');
    std::string rec2(300, 'x');
    write_file(REVERSE_FILE, rec1 + rec2);
    ASSERT_EQ(read_reverse_file(), 0);
    EXPECT_EQ(entries(), (std::vector<std::string> {"first", std::string(299, 'x')}));

    // Written back, every record ends in a zero byte.
    ASSERT_EQ(write_reverse_file(), 0);
    std::string bytes = read_file(REVERSE_FILE);
    ASSERT_EQ(bytes.size(), 600u);
    EXPECT_EQ(bytes.substr(300), std::string(299, 'x') + '\0');
}

TEST_F(Reverse, FailedRewriteLeavesTheOldFile)
{
    toggle_reverse_key("one");
    ASSERT_EQ(write_reverse_file(), 0);
    std::string before = read_file(REVERSE_FILE);
    fs::create_directory("reverse.tmp");
    toggle_reverse_key("two");
    EXPECT_EQ(write_reverse_file(), -1);
    EXPECT_EQ(read_file(REVERSE_FILE), before);
    EXPECT_EQ(reverse_list_size(), 2u);  // the list stays in memory
}

TEST_F(Reverse, WriteFileAppends)
{
    EXPECT_EQ(write_file("f", "ab", 2), 0);
    EXPECT_EQ(write_file("f", "cd", 2), 0);
    EXPECT_EQ(write_file("f", nullptr, 0), 0);
    EXPECT_EQ(read_file("f"), "abcd");
    EXPECT_EQ(write_file("no_such_dir/f", "x", 1), -1);
}

TEST(TreeDelete, StatementsAndMailFolder)
{
    EXPECT_EQ(delete_tree_item_statement(A, 128), "delete  from LogTab where (dwIP = '16885952') ");
    EXPECT_EQ(delete_tree_item_statement(A, 4),
              "delete  from LogTab where (dwIP = '16885952') and (dwLogType = '4')");
    EXPECT_EQ(router_mail_dir(A), "mail_save/192.168.1.1/");
    EXPECT_EQ(router_mail_dir(0x0100000A), "mail_save/10.0.0.1/");
    EXPECT_EQ(record_content_statement(7), "select cLogContent from LogTab  where (id_inc = '7') ");
}

class ReverseStored : public Reverse {
protected:
    void SetUp() override
    {
        Reverse::SetUp();
        if (!connect_test_db())
            GTEST_SKIP() << "no test database";
    }
};

TEST_F(ReverseStored, SameRecordTwiceAddsThenRemovesItsKey)
{
    stored_row r;
    r.content = "nat_rule changed on wan";
    ASSERT_TRUE(store_row(r));  // id 1
    EXPECT_EQ(reverse_source_of_record(1), 1);
    EXPECT_EQ(read_file(REVERSE_FILE), "nat_rule" + std::string(292, '\0'));
    EXPECT_EQ(reverse_source_of_record(1), 0);
    EXPECT_TRUE(fs::exists(REVERSE_FILE));
    EXPECT_EQ(read_file(REVERSE_FILE).size(), 0u);
    EXPECT_EQ(reverse_list_size(), 0u);
}

TEST_F(ReverseStored, UnknownRecordChangesNothing)
{
    toggle_reverse_key("kept");
    ASSERT_EQ(write_reverse_file(), 0);
    EXPECT_EQ(reverse_source_of_record(99), -1);
    EXPECT_EQ(entries(), (std::vector<std::string> {"kept"}));
    EXPECT_EQ(read_file(REVERSE_FILE).size(), 300u);
}

TEST_F(ReverseStored, TextWithoutSpacesIsWholeKeyAndRowsFollowTheList)
{
    stored_row r;
    r.source = 0x0A000001;  // 10.0.0.1
    r.content = "portscan";
    ASSERT_TRUE(store_row(r));
    EXPECT_EQ(reverse_source_of_record(1), 1);
    EXPECT_EQ(entries(), (std::vector<std::string> {"portscan"}));

    set_source_reversed_test(source_is_reversed);
    std::string sql = list_statement(r.ip, 128);
    reset_page();
    sql_get_page(sql);
    std::vector<log_display_row> rows;
    ASSERT_EQ(read_page_rows(sql, rows), 0);
    EXPECT_EQ(rows.at(0).source_ip, "1.0.0.10");
    reverse_source_of_record(1);
    ASSERT_EQ(read_page_rows(sql, rows), 0);
    EXPECT_EQ(rows.at(0).source_ip, "10.0.0.1");
    set_source_reversed_test(nullptr);
}
