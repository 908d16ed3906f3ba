// The spool file and the storing around it, without a server: entries
// survive reopening, a torn last entry spoils none before it, and the store
// keeps the order, spools while the server is away, and never sends a
// statement again whose rows turn out to be stored.
#include "storage/spool.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

log_row row(const std::string& content, uint32_t time = 7)
{
    log_row r;
    r.dwIP = 0x0100007F;
    r.dwLogType = 5;
    r.dwSourceIP = 0xC0A8010A;
    r.cLogUser = "admin";
    r.cLogContent = content;
    r.cLogNote = "note";
    r.time = time;
    r.cLogContent_chinese = "中文 " + content;
    r.cLogContent_fanti = "中文 " + content;
    r.cLogContent_en = "en " + content;
    return r;
}

std::vector<std::string> seq(const std::string& prefix, int from, int to)
{
    std::vector<std::string> out;
    for (int i = from; i < to; ++i)
        out.push_back(prefix + std::to_string(i));
    return out;
}

std::vector<log_row> rows(const std::string& prefix, int from, int to)
{
    std::vector<log_row> out;
    for (const auto& c : seq(prefix, from, to))
        out.push_back(row(c));
    return out;
}

std::vector<std::string> contents(const std::vector<log_row>& rs)
{
    std::vector<std::string> out;
    for (const auto& r : rs)
        out.push_back(r.cLogContent);
    return out;
}

auto fields(const log_row& r)
{
    return std::tie(r.dwIP, r.dwLogType, r.dwSourceIP, r.time, r.cLogUser, r.cLogContent,
                    r.cLogNote, r.cLogContent_chinese, r.cLogContent_fanti, r.cLogContent_en);
}

// A spool file of these entries, appended one by one.
void write_spool(const std::string& path, const std::vector<std::vector<log_row>>& entries)
{
    row_spool s(path);
    ASSERT_TRUE(s.open());
    for (const auto& e : entries)
        ASSERT_TRUE(s.append(e));
}

// Entries of a spool file, oldest first.
std::vector<std::vector<std::string>> entries_of(const std::string& path)
{
    row_spool s(path);
    EXPECT_TRUE(s.open());
    std::vector<std::vector<std::string>> out;
    while (!s.empty()) {
        std::vector<log_row> rs;
        EXPECT_TRUE(s.front(rs));
        out.push_back(contents(rs));
        s.pop_front();
    }
    return out;
}

}  // namespace

TEST(Spool, RowsRoundTripWithEveryField)
{
    std::vector<log_row> in = {row("a"), row("b'\\ \n end", 0xFFFFFFFF), row("")};
    in[2].cLogUser = std::string("nul\0inside", 10);
    std::vector<log_row> out;
    ASSERT_TRUE(decode_rows(encode_rows(in), 3, out));
    ASSERT_EQ(out.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(fields(out[i]) == fields(in[i])) << i;
    std::string cut = encode_rows(in);
    cut.pop_back();
    EXPECT_FALSE(decode_rows(cut, 3, out));
    EXPECT_FALSE(decode_rows(encode_rows(in), 4, out));
}

TEST(Spool, EntriesAndHeadSurviveReopening)
{
    scratch_dir dir;
    {
        row_spool s("x.spool");
        ASSERT_TRUE(s.open());
        EXPECT_TRUE(s.empty());
        ASSERT_TRUE(s.append(rows("a", 0, 3)));
        ASSERT_TRUE(s.append(rows("b", 0, 2)));
        s.set_head({1, 2, 42});
        EXPECT_EQ(s.rows(), 4u);
    }
    row_spool s("x.spool");
    ASSERT_TRUE(s.open());
    EXPECT_EQ(s.entries(), 2u);
    EXPECT_EQ(s.rows(), 4u);
    EXPECT_EQ(s.head().rows_done, 1u);
    EXPECT_EQ(s.head().unknown_rows, 2u);
    EXPECT_EQ(s.head().id_bound, 42u);
    std::vector<log_row> rs;
    ASSERT_TRUE(s.front(rs));
    EXPECT_EQ(contents(rs), seq("a", 0, 3));
    s.pop_front();
    EXPECT_EQ(s.head().rows_done, 0u) << "a new head starts from its first row";
    ASSERT_TRUE(s.front(rs));
    EXPECT_EQ(contents(rs), seq("b", 0, 2));
    s.pop_front();
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(fs::file_size("x.spool"), 96u) << "an emptied spool is cut back to its header";
    ASSERT_TRUE(s.append(rows("c", 0, 1)));
    EXPECT_EQ(entries_of("x.spool"), (std::vector<std::vector<std::string>> {{"c0"}}));
}

TEST(Spool, TornLastEntrySpoilsNoneBeforeIt)
{
    scratch_dir dir;
    write_spool("x.spool", {rows("a", 0, 2), rows("b", 0, 3), rows("c", 0, 4)});
    const auto full = fs::file_size("x.spool");
    std::string bytes = read_file("x.spool");
    // Power lost in the middle of writing the last entry.
    const std::size_t last = bytes.rfind(std::string("SPOL", 4));
    ASSERT_NE(last, std::string::npos);
    for (std::size_t cut : {last + 3, last + 16, last + (full - last) / 2, full - 1}) {
        write_file("x.spool", bytes.substr(0, cut));
        row_spool s("x.spool");
        ASSERT_TRUE(s.open()) << cut;
        EXPECT_EQ(s.torn_entries(), 1u) << cut;
        EXPECT_EQ(s.entries(), 2u) << cut;
        EXPECT_EQ(fs::file_size("x.spool"), last) << "the torn entry is cut off";
    }
    // The same with the last entry whole in length but not in content.
    std::string garbled = bytes;
    garbled[full - 5] ^= 0x55;
    write_file("x.spool", garbled);
    EXPECT_EQ(entries_of("x.spool"),
              (std::vector<std::vector<std::string>> {{"a0", "a1"}, {"b0", "b1", "b2"}}));
    // A spool cut and appended to again reads whole.
    write_file("x.spool", bytes.substr(0, last + 20));
    write_spool("x.spool", {rows("d", 0, 1)});
    EXPECT_EQ(entries_of("x.spool"),
              (std::vector<std::vector<std::string>> {{"a0", "a1"}, {"b0", "b1", "b2"}, {"d0"}}));
}

TEST(Spool, HeaderWrittenHalfFallsBackToTheOtherSlot)
{
    scratch_dir dir;
    {
        row_spool s("x.spool");
        ASSERT_TRUE(s.open());
        ASSERT_TRUE(s.append(rows("a", 0, 3)));
        s.set_head({1, 0, 0});
        s.set_head({2, 0, 0});
    }
    std::string bytes = read_file("x.spool");
    // Find the newer slot (rows_done 2) and spoil it.
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
    EXPECT_EQ(s.rows(), 2u);
}

namespace {

// A server for row_store: a table of rows with ids; it can be taken away,
// and a statement can be made to die with or without its rows stored.
struct fake_server {
    bool up = true;
    bool connected = true;
    std::vector<std::pair<uint64_t, std::string>> table;  // id, content
    uint64_t next_id = 1;
    int die_next = 0;  // statements that lose the connection
    bool store_when_dying = false;
    std::string refuse;  // a statement holding this is refused
    int lookups = 0;

    static std::vector<std::string> values_in(const std::string& sql)
    {
        // The contents are the fifth quoted value of each row.
        std::vector<std::string> out;
        std::size_t at = sql.find("values ");
        while ((at = sql.find("('", at)) != std::string::npos) {
            std::size_t p = at;
            for (int k = 0; k < 4; ++k)
                p = sql.find("','", p) + 3;
            out.push_back(sql.substr(p, sql.find("','", p) - p));
            at = p;
        }
        return out;
    }

    row_store_backend backend()
    {
        row_store_backend b;
        b.insert = [this](const std::string& sql, uint64_t& first) {
            if (!connected)
                return insert_outcome::not_sent;
            if (!refuse.empty() && sql.find(refuse) != std::string::npos)
                return insert_outcome::refused;
            const bool dying = die_next > 0;
            if (!dying || store_when_dying) {
                first = next_id;
                for (const auto& c : values_in(sql))
                    table.push_back({next_id++, c});
            }
            if (dying) {
                --die_next;
                connected = false;
                return insert_outcome::unknown;
            }
            return insert_outcome::stored;
        };
        b.connected = [this] { return connected; };
        b.reconnect = [this] { return connected = up; };
        b.find_row = [this](const log_row& r, uint64_t bound,
                            bool& error) -> std::optional<uint64_t> {
            ++lookups;
            error = !connected;
            std::optional<uint64_t> id;
            for (const auto& [i, c] : table)
                if (i > bound && c == r.cLogContent)
                    id = i;
            return id;
        };
        b.max_id = [this]() -> std::optional<uint64_t> { return next_id - 1; };
        return b;
    }

    std::vector<std::string> contents() const
    {
        std::vector<std::string> out;
        for (const auto& [i, c] : table)
            out.push_back(c);
        return out;
    }
};

}  // namespace

TEST(RowStore, SpoolsWhileTheServerIsAwayAndStoresInOrderAfter)
{
    scratch_dir dir;
    fake_server db;
    std::vector<std::string> refused;
    int drained = 0;
    row_store store("s.spool", db.backend(),
                    [&](const log_row& r) { refused.push_back(r.cLogContent); });
    store.on_drained([&] { ++drained; });

    store.store(rows("r", 0, 3));
    EXPECT_EQ(db.contents(), seq("r", 0, 3));
    EXPECT_FALSE(fs::exists("s.spool")) << "no spool file until a row needs one";

    db.up = false;
    db.connected = false;
    store.store(rows("r", 3, 6));
    store.store(rows("r", 6, 8));
    EXPECT_EQ(store.spooled_rows(), 5u);
    EXPECT_EQ(db.contents(), seq("r", 0, 3));
    EXPECT_FALSE(store.replay(std::chrono::seconds(1)));

    db.up = true;
    store.store(rows("r", 8, 10));
    EXPECT_TRUE(store.replay(std::chrono::seconds(1)));
    EXPECT_EQ(db.contents(), seq("r", 0, 10)) << "the spool first, then the new rows";
    EXPECT_EQ(store.spooled_rows(), 0u);
    EXPECT_EQ(drained, 1);
    EXPECT_EQ(store.stored(), 10u);
    EXPECT_TRUE(refused.empty());
}

TEST(RowStore, StatementOfUnknownOutcomeIsLookedForBeforeItIsSentAgain)
{
    scratch_dir dir;
    fake_server db;
    row_store store("s.spool", db.backend(), [](const log_row&) {});
    store.store(rows("r", 0, 2));

    // The connection dies while the statement runs, after the server stored it.
    db.die_next = 1;
    db.store_when_dying = true;
    store.store(rows("r", 2, 5));
    EXPECT_EQ(db.contents(), seq("r", 0, 5)) << "found after reconnecting, not sent again";
    EXPECT_EQ(db.lookups, 1);

    // ... and before it stored it: sent again.
    db.die_next = 1;
    db.store_when_dying = false;
    store.store(rows("r", 5, 7));
    EXPECT_EQ(db.contents(), seq("r", 0, 7));
    EXPECT_EQ(db.lookups, 2);
    EXPECT_EQ(store.spooled_rows(), 0u);
}

TEST(RowStore, UnknownOutcomeWithTheServerGoneIsResolvedFromTheSpool)
{
    scratch_dir dir;
    fake_server db;
    {
        row_store store("s.spool", db.backend(), [](const log_row&) {});
        store.store(rows("r", 0, 2));
        db.die_next = 1;
        db.store_when_dying = true;
        db.up = false;  // and it stays away: the rows are spooled, marked unknown
        store.store(rows("r", 2, 5));
        store.store(rows("r", 5, 6));
        EXPECT_EQ(store.spooled_rows(), 4u);
    }
    // The program ends; the next one finds the server again.
    db.up = true;
    row_store store("s.spool", db.backend(), [](const log_row&) {});
    EXPECT_TRUE(store.replay(std::chrono::seconds(1)));
    EXPECT_EQ(db.contents(), seq("r", 0, 6)) << "r2..r4 were stored once, before the server went";
}

TEST(RowStore, RowRefusedForItsContentIsCountedNotSpooled)
{
    scratch_dir dir;
    fake_server db;
    std::vector<std::string> refused;
    row_store store("s.spool", db.backend(),
                    [&](const log_row& r) { refused.push_back(r.cLogContent); });
    db.refuse = "'bad'";
    std::vector<log_row> in = rows("r", 0, 4);
    in.insert(in.begin() + 2, row("bad"));
    store.store(in);
    EXPECT_EQ(db.contents(), seq("r", 0, 4));
    EXPECT_EQ(refused, std::vector<std::string> {"bad"});
    EXPECT_EQ(store.refused(), 1u);
    EXPECT_EQ(store.spooled_rows(), 0u);
}

TEST(RowStore, SpoolWithATornLastEntryIsStoredUpToIt)
{
    scratch_dir dir;
    fake_server db;
    write_spool("s.spool", {rows("r", 0, 3), rows("r", 3, 5), rows("r", 5, 9)});
    std::string bytes = read_file("s.spool");
    write_file("s.spool", bytes.substr(0, bytes.size() - 30));
    row_store store("s.spool", db.backend(), [](const log_row&) {});
    EXPECT_TRUE(store.replay(std::chrono::seconds(1)));
    EXPECT_EQ(db.contents(), seq("r", 0, 5));
}
