#include "base/other_func.h"
#include "base/log_types.h"
#include "support/browse_db.h"
#include "storage/page_set.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const std::string BASE = "select * from LogTab  where (dwIP = '16885952') ";

}  // namespace

TEST(Statements, PagingNeverGoesBelowZero)
{
    reset_page();
    std::string sql = BASE;
    sql_get_page(sql);
    sql_next_page(sql);
    sql_pre_page(sql);
    sql_pre_page(sql);
    EXPECT_EQ(current_pag, 0u);
    EXPECT_EQ(sql, BASE + " limit 0,20");
}

class StoredRows : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!connect_test_db())
            GTEST_SKIP() << "no test database";
    }
    void TearDown() override { set_source_reversed_test(nullptr); }
};

TEST_F(StoredRows, DisplayRowTextsAndCuts)
{
    stored_row r;
    r.type = 7;
    r.source = 0x0A000001;  // 10.0.0.1
    // 51 bytes: the last character does not fit in 50.
    r.user = "用用用用用用用用用用用用用用用用用";
    r.content = "nat_rule changed";
    r.cn = std::string(399, 'c') + "中";
    r.en = "english";
    r.tw = "繁體";
    r.time = 28800;
    ASSERT_TRUE(store_row(r));

    std::vector<log_display_row> rows;
    std::string sql = list_statement(r.ip, 128);
    reset_page();
    sql_get_page(sql);
    ASSERT_EQ(read_page_rows(sql, rows), 0);
    ASSERT_EQ(rows.size(), 1u);
    const log_display_row& d = rows[0];
    EXPECT_EQ(d.type, 7u);
    EXPECT_STREQ(d.type_label[1], "nodefine");
    EXPECT_EQ(d.user, r.user.substr(0, 48));
    EXPECT_EQ(d.content[0] + d.content[1] + d.content[2], std::string(399, 'c') + "english繁體");
    EXPECT_EQ(d.time, ConvertTime(28800));
    EXPECT_EQ(d.source_ip + " " + d.router_ip, "10.0.0.1 192.168.1.1");
    EXPECT_EQ(d.id, 1u);

    // A kind in the reversed-source list shows the address lowest byte first.
    set_source_reversed_test([](const char* word) { return std::strcmp(word, "nat_rule") == 0; });
    ASSERT_EQ(read_page_rows(sql, rows), 0);
    EXPECT_EQ(rows.at(0).source_ip, "1.0.0.10");
}

// A pattern holding " limit" in the paged statement: fuzz/filter_statement.
TEST_F(StoredRows, PagesListNewestFirstAndRowsOfOneSecondByArrival)
{
    for (unsigned i = 0; i < 30; ++i) {
        stored_row r;
        r.time = 5000 + i / 3;  // three rows a second
        ASSERT_TRUE(store_row(r));
    }
    // One order from page to page: none repeated or skipped.
    std::vector<unsigned> ids;
    std::vector<log_display_row> rows;
    reset_page();
    std::string sql = list_statement(0x0101A8C0, 128);
    sql_get_page(sql);
    for (int page = 0; page < 2; ++page, sql_next_page(sql)) {
        ASSERT_EQ(read_page_rows(sql, rows), 0);
        for (const auto& row : rows)
            ids.push_back(row.id);
    }
    for (unsigned k = 0; k < 30; ++k)
        EXPECT_EQ(ids.at(k), 30 - k);
}

TEST_F(StoredRows, FailedStatementsAndCountsWithoutFromGiveMinusOne)
{
    EXPECT_EQ(get_sql_counter("select 1"), -1);
    EXPECT_EQ(get_sql_counter("SELECT * FROM LogTab"), -1);  // only lower-case "from" counts
    std::vector<log_display_row> rows;
    EXPECT_EQ(read_page_rows("select * from NoSuchTab   limit 0,20", rows), -1);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(get_sql_counter("select * from NoSuchTab"), -1);
}
