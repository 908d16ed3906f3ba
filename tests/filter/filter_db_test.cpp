// The filter's statements against the test database: what a pattern and a
// source address match, and statements stopped at the time limit.
#include "filter/filter_query.h"
#include "filter/filter_statement.h"
#include "storage/mysql_ctrl.h"
#include "storage/page_set.h"
#include "support/browse_db.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const unsigned R = 0x0101A8C0;  // 192.168.1.1

#define NEED_DB()                                                                                  \
    if (!connect_test_db())                                                                        \
    GTEST_SKIP() << "no test database"

// The matches of the filter on router R and type 1 with one input typed.
filter_count matches(std::string filter_inputs::*field, const std::string& typed)
{
    filter_inputs in;
    in.base = list_statement(R, 1);
    in.*field = typed;
    return count_filter_matches(filter_statement(in, mysql));
}

void store(const std::string& user, const std::string& content, unsigned source = 0)
{
    stored_row r;
    r.user = user;
    r.content = r.cn = r.tw = r.en = content;
    r.source = source;
    store_row(r);
}

}  // namespace

TEST(FilterDb, PatternsWithQuotesAndBackslashesMatchExactlyTheRowsHoldingThem)
{
    NEED_DB();
    store("o'brien", "say \"hi\" it's a\\b");  // id 1
    store("obrien", "say hi its ab");          // id 2
    store("o\\'brien", "a\\\\b");              // id 3
    // As regular expressions: a quote is itself, "\\\\" one backslash.
    EXPECT_EQ(matches(&filter_inputs::user, "o'brien").count, 1);
    EXPECT_EQ(matches(&filter_inputs::content, "it's a\\\\b").count, 1);
    EXPECT_EQ(matches(&filter_inputs::content, "say \"hi\"").count, 1);
    EXPECT_EQ(matches(&filter_inputs::user, "o\\\\'").max_id, 3u);
}

TEST(FilterDb, SourceAddressTypedInNormalOrderMatchesTheStoredOne)
{
    NEED_DB();
    store("u", "c", 3232235777u);  // 192.168.1.1
    store("u", "c", 16885952u);    // 192.168.1.1 written lowest byte first
    const filter_count got = matches(&filter_inputs::source_ip, "192.168.1.1");
    EXPECT_EQ(got.count, 1);
    EXPECT_EQ(got.max_id, 1u);
}

// What a stopped statement shows is checked by filter_gui_test; here, that
// the limit stays with its statement and that 0 means none.
TEST(FilterDb, TheTimeLimitBelongsToItsStatement)
{
    NEED_DB();
    store_rows(2, R, 1);
    EXPECT_EQ(time_limited("select 1", 0), "select 1");
    query_time_limit_s = 0.2;
    const std::string slow = list_statement(R, 1) + " and (sleep(1) = 0)";
    EXPECT_EQ(count_filter_matches(slow).failure, filter_failure::too_long);
    query_time_limit_s = 30;
    EXPECT_EQ(exe_sql("select sleep(0.3)"), 0);
}
