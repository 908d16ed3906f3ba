// The filter's statements against the test database: what a pattern and a
// source address match, and statements stopped at the time limit.
#include "filter/filter_query.h"
#include "filter/filter_statement.h"
#include "storage/mysql_ctrl.h"
#include "storage/page_set.h"
#include "support/browse_db.h"

#include <gtest/gtest.h>

#include <string>

// Inputs are written with designated initializers; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

const unsigned R = 0x0101A8C0;  // 192.168.1.1

#define NEED_DB()                                                                                  \
    if (!connect_test_db())                                                                        \
    GTEST_SKIP() << "no test database"

// The matches of the filter on router R and type 1 with the given inputs.
filter_count matches(filter_inputs in)
{
    in.base = list_statement(R, 1);
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
    EXPECT_EQ(matches({.user = "o'brien"}).count, 1);
    EXPECT_EQ(matches({.content = "it's a\\\\b"}).count, 1);
    EXPECT_EQ(matches({.content = "say \"hi\""}).count, 1);
    EXPECT_EQ(matches({.user = "o\\\\'"}).max_id, 3u);
    // A text that would close the literal in an unescaped statement finds
    // only rows that hold it, here none.
    const filter_count hostile = matches({.user = "x' or '1'='1"});
    EXPECT_EQ(hostile.failure, filter_failure::none);
    EXPECT_EQ(hostile.count, 0);
}

TEST(FilterDb, SourceAddressTypedInNormalOrderAndPartsAbove255MatchNothing)
{
    NEED_DB();
    store("u", "c", 3232235777u);  // 192.168.1.1
    store("u", "c", 738197505u);   // 44.0.0.1, what 300.0.0.1 wrapped to
    EXPECT_EQ(matches({.source_ip = "192.168.1.1"}).max_id, 1u);
    EXPECT_EQ(matches({.source_ip = "300.0.0.1"}).count, 0);
    EXPECT_EQ(matches({.source_ip = "44.0.0.1"}).count, 1);
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
