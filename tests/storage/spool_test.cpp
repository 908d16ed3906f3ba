// The spool file, and the storing around it against a fake server.
#include "storage/spool.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;
using texts = std::vector<std::string>;

namespace {

log_row row(const std::string& content, uint32_t time = 7)
{
    return {0x0100007F, 5,    0xC0A8010A,        "admin",           content,
            "note",     time, "中文 " + content, "中文 " + content, "en " + content};
}

// Rows "<prefix><from>" up to "<prefix><to - 1>".
std::vector<log_row> rows(const std::string& prefix, int from, int to)
{
    std::vector<log_row> out;
    for (int i = from; i < to; ++i)
        out.push_back(row(prefix + std::to_string(i)));
    return out;
}

texts contents(const std::vector<log_row>& rs)
{
    texts out;
    for (const auto& r : rs)
        out.push_back(r.cLogContent);
    return out;
}

texts seq(const std::string& prefix, int from, int to) { return contents(rows(prefix, from, to)); }

void write_spool(const std::string& path, const std::vector<std::vector<log_row>>& entries)
{
    row_spool s(path);
    ASSERT_TRUE(s.open());
    for (const auto& e : entries)
        ASSERT_TRUE(s.append(e));
}

// Entries of a spool file, oldest first.
std::vector<texts> entries_of(const std::string& path)
{
    row_spool s(path);
    EXPECT_TRUE(s.open());
    std::vector<texts> out;
    for (std::vector<log_row> rs; !s.empty(); s.pop_front()) {
        EXPECT_TRUE(s.front(rs));
        out.push_back(contents(rs));
    }
    return out;
}

}  // namespace

// Every field, awkward bytes included; a torn header write leaves the other slot.
TEST(Spool, EntriesAndHeadSurviveReopening)
{
    scratch_dir dir;
    std::vector<log_row> a = {row("a0"), row("b'\\ \n end", 0xFFFFFFFF), row("")};
    a[2].cLogUser = std::string("nul\0inside", 10);
    {
        row_spool s("x.spool");
        ASSERT_TRUE(s.open());
        ASSERT_TRUE(s.append(a));
        ASSERT_TRUE(s.append(rows("b", 0, 2)));
        s.set_head({1, 2, 42});
    }
    {
        row_spool s("x.spool");
        ASSERT_TRUE(s.open());
        EXPECT_EQ(s.entries(), 2u);
        EXPECT_EQ(s.rows(), 4u);
        EXPECT_EQ(std::tie(s.head().rows_done, s.head().unknown_rows, s.head().id_bound),
                  std::make_tuple(1u, 2u, uint64_t {42}));
        s.set_head({2, 0, 0});
    }
    std::string bytes = read_file("x.spool");
    for (std::size_t slot : {8u, 48u}) {
        uint32_t done = 0;
        std::memcpy(&done, bytes.data() + slot + 16, 4);
        if (done == 2)
            bytes[slot + 3] ^= 0x01;
    }
    write_file("x.spool", bytes);
    row_spool s("x.spool");
    ASSERT_TRUE(s.open());
    EXPECT_EQ(s.head().rows_done, 1u) << "the older, whole slot";
    std::vector<log_row> rs;
    ASSERT_TRUE(s.front(rs));
    ASSERT_EQ(rs.size(), 3u);
    const auto fields = [](const log_row& r) {
        return std::tie(r.dwIP, r.dwLogType, r.dwSourceIP, r.time, r.cLogUser, r.cLogContent,
                        r.cLogNote, r.cLogContent_chinese, r.cLogContent_fanti, r.cLogContent_en);
    };
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(fields(rs[i]) == fields(a[i])) << i;
    s.pop_front();
    EXPECT_EQ(s.head().rows_done, 0u) << "a new head starts from its first row";
    ASSERT_TRUE(s.front(rs));
    EXPECT_EQ(contents(rs), seq("b", 0, 2));
    s.pop_front();
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(fs::file_size("x.spool"), 96u) << "an emptied spool is cut back to its header";
}

namespace {

// A server for row_store: a table of rows; it can be taken away, and a
// statement can be made to die with or without its rows stored.
class RowStore : public ::testing::Test {
protected:
    row_store make_store()
    {
        row_store_backend b;
        b.insert = [this](const std::string& sql, uint64_t& first) {
            if (!connected)
                return insert_outcome::not_sent;
            if (sql.find("'bad'") != std::string::npos)
                return insert_outcome::refused;
            if (die_next == 0 || store_when_dying) {
                first = table.size() + 1;
                // The contents are the fifth quoted value of each row.
                for (std::size_t at = sql.find("values "); (at = sql.find("('", at)) != sql.npos;) {
                    for (int k = 0; k < 4; ++k)
                        at = sql.find("','", at) + 3;
                    table.push_back(sql.substr(at, sql.find("','", at) - at));
                }
            }
            if (die_next == 0) {
                if (after_commit)
                    after_commit();
                return insert_outcome::stored;
            }
            --die_next;
            connected = false;
            return insert_outcome::unknown;
        };
        b.connected = [this] { return connected; };
        b.reconnect = [this] { return connected = up; };
        b.find_row = [this](const log_row& r, uint64_t bound, bool& error) {
            ++lookups;
            error = !connected;
            std::optional<uint64_t> id;
            for (uint64_t i = bound; i < table.size(); ++i)
                if (table[i] == r.cLogContent)
                    id = i + 1;
            return id;
        };
        b.max_id = [this] { return std::optional<uint64_t>(table.size()); };
        return row_store("s.spool", std::move(b),
                         [this](const log_row& r) { refused.push_back(r.cLogContent); });
    }

    scratch_dir dir;
    bool up = true, connected = true;
    texts table;       // row i has the id i + 1
    int die_next = 0;  // statements that lose the connection
    bool store_when_dying = false;
    int lookups = 0;
    texts refused;
    std::function<void()> after_commit;
};

}  // namespace

TEST_F(RowStore, StoresInOrderAndNeverSendsAStoredStatementAgain)
{
    {
        row_store store = make_store();
        int drained = 0;
        store.on_drained([&] { ++drained; });
        std::vector<log_row> first = rows("r", 0, 3);
        first.insert(first.begin() + 1, row("bad"));
        store.store(first);
        EXPECT_EQ(table, seq("r", 0, 3));
        EXPECT_EQ(refused, texts {"bad"})
            << "a row refused for its content is counted, not spooled";
        EXPECT_EQ(store.refused(), 1u);
        EXPECT_FALSE(fs::exists("s.spool")) << "no spool file until a row needs one";

        up = connected = false;
        store.store(rows("r", 3, 6));
        store.store(rows("r", 6, 8));
        EXPECT_EQ(store.spooled_rows(), 5u);
        EXPECT_EQ(table, seq("r", 0, 3));
        EXPECT_FALSE(store.replay(std::chrono::seconds(1)));
        up = true;
        store.store(rows("r", 8, 10));
        EXPECT_TRUE(store.replay(std::chrono::seconds(1)));
        EXPECT_EQ(table, seq("r", 0, 10)) << "the spool first, then the new rows";
        EXPECT_EQ(store.spooled_rows(), 0u);
        EXPECT_EQ(drained, 1);
        EXPECT_EQ(store.stored(), 10u);

        // The connection dies while the statement runs, after the server stored it.
        die_next = 1;
        store_when_dying = true;
        store.store(rows("r", 10, 13));
        EXPECT_EQ(table, seq("r", 0, 13)) << "found after reconnecting, not sent again";
        EXPECT_EQ(lookups, 1);
        // ... and before it stored it: sent again.
        die_next = 1;
        store_when_dying = false;
        store.store(rows("r", 13, 15));
        EXPECT_EQ(table, seq("r", 0, 15));
        EXPECT_EQ(lookups, 2);
        // After storing, and the server stays away: spooled, marked unknown.
        die_next = 1;
        store_when_dying = true;
        up = false;
        store.store(rows("r", 15, 18));
        store.store(rows("r", 18, 19));
        EXPECT_EQ(store.spooled_rows(), 4u);
    }
    // The program ends; the next one finds the server again.
    up = true;
    row_store store = make_store();
    EXPECT_TRUE(store.replay(std::chrono::seconds(1)));
    EXPECT_EQ(table, seq("r", 0, 19)) << "r15..r17 stored once, before the server went";
}

TEST_F(RowStore, ProgramKilledRightAfterAReplayedStatementCommittedStoresItOnce)
{
    {
        row_store store = make_store();
        up = connected = false;
        store.store(rows("r", 0, 3));
        store.store(rows("r", 3, 5));
        up = true;
        // The program dies the moment the first entry is committed.
        after_commit = [this] {
            fs::copy_file("s.spool", "killed.spool");
            up = connected = false;
        };
        EXPECT_FALSE(store.replay(std::chrono::seconds(1)));
        after_commit = nullptr;
        up = connected = true;
    }
    fs::rename("killed.spool", "s.spool");  // the disk as the killed program left it
    row_store store = make_store();
    EXPECT_TRUE(store.replay(std::chrono::seconds(1)));
    EXPECT_EQ(table, seq("r", 0, 5));
}

TEST_F(RowStore, SpoolWithATornLastEntryIsStoredUpToIt)
{
    write_spool("s.spool", {rows("r", 0, 3), rows("r", 3, 5), rows("r", 5, 9)});
    const std::string bytes = read_file("s.spool");
    const std::size_t full = bytes.size(), last = bytes.rfind(std::string("SPOL", 4));
    ASSERT_NE(last, std::string::npos);
    // Power lost in the middle of writing the last entry.
    for (std::size_t cut : {last + 3, last + 16, last + (full - last) / 2, full - 1}) {
        SCOPED_TRACE(cut);
        write_file("s.spool", bytes.substr(0, cut));
        row_spool s("s.spool");
        ASSERT_TRUE(s.open());
        EXPECT_EQ(s.torn_entries(), 1u);
        EXPECT_EQ(s.entries(), 2u);
        EXPECT_EQ(fs::file_size("s.spool"), last) << "the torn entry is cut off";
    }
    // The last entry whole in length but not in content.
    std::string garbled = bytes;
    garbled[full - 5] ^= 0x55;
    write_file("s.spool", garbled);
    const std::vector<texts> first_two {seq("r", 0, 3), seq("r", 3, 5)};
    EXPECT_EQ(entries_of("s.spool"), first_two);
    // A spool cut and appended to again reads whole.
    write_file("s.spool", bytes.substr(0, last + 20));
    write_spool("s.spool", {rows("r", 9, 10)});
    EXPECT_EQ(entries_of("s.spool"), (std::vector<texts> {first_two[0], first_two[1], {"r9"}}));

    write_file("s.spool", bytes.substr(0, full - 30));
    row_store store = make_store();
    EXPECT_TRUE(store.replay(std::chrono::seconds(1)));
    EXPECT_EQ(table, seq("r", 0, 5)) << "stored up to the torn entry";
}
