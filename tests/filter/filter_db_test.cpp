// The filter's statements against the test database: what a pattern
// matches, counting, deleting what was counted, refused and stopped
// statements, and paging through the id lookup.
#include "browse/browse_db.h"
#include "filter/filter_query.h"
#include "filter/filter_statement.h"
#include "storage/mysql_ctrl.h"
#include "storage/page_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const unsigned R = 0x0101A8C0;  // 192.168.1.1
const unsigned OTHER = 0x0201A8C0;

#define NEED_DB()                                                                                  \
    if (!connect_test_db())                                                                        \
    GTEST_SKIP() << "no test database"

stored_row row(unsigned ip, unsigned type, const std::string& user, const std::string& content,
               unsigned time = 1000)
{
    stored_row r;
    r.ip = ip;
    r.type = type;
    r.user = user;
    r.content = r.cn = r.tw = r.en = content;
    r.time = time;
    return r;
}

// The filter statement of router R and type 1 with the given inputs.
std::string on_r1(filter_inputs in)
{
    in.base = list_statement(R, 1);
    return filter_statement(in, mysql);
}

filter_inputs user(const std::string& u)
{
    filter_inputs in;
    in.user = u;
    return in;
}

filter_inputs content(const std::string& c)
{
    filter_inputs in;
    in.content = c;
    return in;
}

std::vector<unsigned> ids_of(const std::string& paged)
{
    std::vector<log_display_row> rows;
    EXPECT_EQ(read_page_rows(paged, rows), 0);
    std::vector<unsigned> ids;
    for (const auto& r : rows)
        ids.push_back(r.id);
    return ids;
}

}  // namespace

TEST(FilterDb, PatternsWithQuotesAndBackslashesMatchExactlyTheRowsHoldingThem)
{
    NEED_DB();
    store_row(row(R, 1, "o'brien", "say \"hi\" it's a\\b"));  // id 1
    store_row(row(R, 1, "obrien", "say hi its ab"));          // id 2
    store_row(row(R, 1, "o\\'brien", "a\\\\b"));              // id 3
    // As regular expressions: a quote is itself, "\\\\" one backslash.
    EXPECT_EQ(count_filter_matches(on_r1(user("o'brien"))).count, 1);
    EXPECT_EQ(count_filter_matches(on_r1(content("it's a\\\\b"))).count, 1);
    EXPECT_EQ(count_filter_matches(on_r1(content("say \"hi\""))).count, 1);
    EXPECT_EQ(count_filter_matches(on_r1(user("o\\\\'"))).max_id, 3u);
    // A text that would close the literal in an unescaped statement finds
    // only rows that hold it, here none.
    const filter_count hostile = count_filter_matches(on_r1(user("x' or '1'='1")));
    EXPECT_EQ(hostile.failure, filter_failure::none);
    EXPECT_EQ(hostile.count, 0);
}

TEST(FilterDb, CountCoversAllPagesAndPagesGoThroughTheIdLookup)
{
    NEED_DB();
    for (unsigned i = 0; i < 45; ++i)
        store_row(row(R, 1, i % 3 ? "admin" : "guest", "row", 1000 + i));  // ids 1..45
    store_row(row(R, 4, "admin", "row"));
    store_row(row(OTHER, 1, "admin", "row"));
    const std::string sql = on_r1(user("adm"));
    const filter_count c = count_filter_matches(sql);
    EXPECT_EQ(c.failure, filter_failure::none);
    EXPECT_EQ(c.count, 30);
    EXPECT_EQ(c.max_id, 45u);

    std::string paged = sql;
    reset_page();
    sql_get_page(paged);
    std::string ordered = paged;
    sql_add_order(ordered);
    EXPECT_EQ(page_query_text(ordered).rfind("select LogTab.* from LogTab join (select id_inc", 0),
              0u);
    std::vector<unsigned> first = ids_of(paged);
    ASSERT_EQ(first.size(), 20u);
    EXPECT_EQ(first.front(), 45u);
    sql_next_page(paged);
    std::vector<unsigned> second = ids_of(paged);
    ASSERT_EQ(second.size(), 10u);
    EXPECT_EQ(second.back(), 2u);
    for (unsigned id : second)
        EXPECT_NE(id % 3, 1u) << id;  // the guests are ids 1, 4, 7, ...
}

TEST(FilterDb, StartAfterEndGivesNothingAndBoundsAreInclusive)
{
    NEED_DB();
    for (unsigned t = 100; t < 110; ++t)
        store_row(row(R, 1, "u", "c", t));
    filter_inputs in;
    in.start_on = in.end_on = true;
    in.start = 105, in.end = 104;
    EXPECT_EQ(count_filter_matches(on_r1(in)).count, 0);
    in.start = 102, in.end = 104;
    EXPECT_EQ(count_filter_matches(on_r1(in)).count, 3);
    in.end_on = false;
    EXPECT_EQ(count_filter_matches(on_r1(in)).count, 8);
}

TEST(FilterDb, SourceAddressTypedInNormalOrderAndPartsAbove255MatchNothing)
{
    NEED_DB();
    stored_row a = row(R, 1, "u", "c");
    a.source = 3232235777u;  // 192.168.1.1
    store_row(a);
    a.source = 738197505u;  // 44.0.0.1, what 300.0.0.1 wrapped to
    store_row(a);
    filter_inputs in;
    in.source_ip = "192.168.1.1";
    EXPECT_EQ(count_filter_matches(on_r1(in)).max_id, 1u);
    in.source_ip = "300.0.0.1";
    EXPECT_EQ(count_filter_matches(on_r1(in)).count, 0);
    in.source_ip = "44.0.0.1";
    EXPECT_EQ(count_filter_matches(on_r1(in)).count, 1);
}

TEST(FilterDb, DeletionRemovesExactlyWhatWasCounted)
{
    NEED_DB();
    const std::string hostile = "x' or 'a'='a";
    store_row(row(R, 1, "u", hostile));      // id 1: holds the pattern
    store_row(row(R, 1, "u", "x"));          // id 2
    store_row(row(R, 4, "u", hostile));      // id 3: other type
    store_row(row(OTHER, 1, "u", hostile));  // id 4: other router
    const std::string sql = on_r1(content(hostile));
    const filter_count c = count_filter_matches(sql);
    ASSERT_EQ(c.count, 1);
    store_row(row(R, 1, "u", hostile));  // id 5: stored after the count
    EXPECT_EQ(delete_filter_matches(sql, c.max_id), 0);
    EXPECT_EQ(get_sql_counter("select * from LogTab where id_inc in (2, 3, 4, 5)"), 4);
    EXPECT_EQ(table_rows(), 4);

    EXPECT_EQ(delete_filter_matches("select count(*) from LogTab", 99), -1);
    EXPECT_EQ(table_rows(), 4);
}

TEST(FilterDb, RefusedPatternIsReportedAndDeletesNothing)
{
    NEED_DB();
    store_rows(3, R, 1);
    const std::string sql = on_r1(content("a("));
    const filter_count c = count_filter_matches(sql);
    EXPECT_EQ(c.failure, filter_failure::rejected);
    std::vector<log_display_row> rows;
    std::string paged = sql;
    sql_get_page(paged);
    EXPECT_EQ(read_page_rows(paged, rows), -1);
    EXPECT_EQ(last_filter_failure(), filter_failure::rejected);
    EXPECT_EQ(delete_filter_matches(sql, 100), -1);
    EXPECT_EQ(table_rows(), 3);
}

TEST(FilterDb, StatementsStopAtTheTimeLimit)
{
    NEED_DB();
    store_rows(2, R, 1);
    EXPECT_EQ(time_limited("select 1", 30), "SET STATEMENT max_statement_time=30.000 FOR select 1");
    EXPECT_EQ(time_limited("select 1", 0), "select 1");
    query_time_limit_s = 0.2;
    const std::string slow = list_statement(R, 1) + " and (sleep(1) = 0)";
    EXPECT_EQ(count_filter_matches(slow).failure, filter_failure::too_long);
    std::vector<log_display_row> rows;
    std::string paged = slow;
    sql_get_page(paged);
    EXPECT_EQ(read_page_rows(paged, rows), -1);
    EXPECT_EQ(last_filter_failure(), filter_failure::too_long);
    query_time_limit_s = 30;
    // The limit belongs to the statement: the next one runs without it.
    EXPECT_EQ(exe_sql("select sleep(0.3)"), 0);
}

TEST(FilterFailure, ErrorNumbers)
{
    EXPECT_EQ(failure_of_error(1969), filter_failure::too_long);
    EXPECT_EQ(failure_of_error(1139), filter_failure::rejected);
    EXPECT_EQ(failure_of_error(1064), filter_failure::rejected);
    EXPECT_EQ(failure_of_error(2006), filter_failure::unreachable);
    EXPECT_EQ(failure_of_error(2013), filter_failure::unreachable);
    EXPECT_EQ(failure_of_error(0), filter_failure::unreachable);
}
