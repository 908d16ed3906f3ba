// The filter statement built from values, without display or database.
#include "filter/filter_statement.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string BASE = "select * from LogTab  where (dwIP = '16885952') and (dwLogType = '4')";
const std::string CONTENT_X =
    " and (cLogContent_chinese REGEXP 'x' or cLogContent_fanti REGEXP 'x' or cLogContent_en "
    "REGEXP 'x' )";

}  // namespace

// One row per branch of each condition; escaping is fuzz/filter_statement's.
TEST(FilterStatement, Table)
{
    const struct {
        std::string filter_inputs::*field;
        const char* typed;
        std::string tail;  // what follows BASE
    } rows[] = {
        {&filter_inputs::user, "", "     "},
        {&filter_inputs::user, "admin", "  and cLogUser REGEXP 'admin'     "},
        {&filter_inputs::user, " x", "     "},
        {&filter_inputs::source_ip, "192.168.1.1", "   and dwSourceIP='3232235777'    "},
        {&filter_inputs::source_ip, "192.168.1", "     "},
        {&filter_inputs::source_ip, "1.2.3.4.5", "   and dwSourceIP='16909060'    "},
        {&filter_inputs::source_ip, "300.0.0.1", "   and FALSE    "},
        {&filter_inputs::source_ip, "a.b.c.d", "   and dwSourceIP='0'    "},
        {&filter_inputs::content, "x", "     " + CONTENT_X},
        {&filter_inputs::content, " x", "     "},
    };
    for (const auto& r : rows) {
        filter_inputs in;
        in.base = BASE;
        in.*r.field = r.typed;
        EXPECT_EQ(filter_statement(in, nullptr), BASE + r.tail) << r.typed;
    }
    const filter_inputs all {BASE, "root", "10.0.0.5", true, 1, true, 2, "x"};
    EXPECT_EQ(filter_statement(all, nullptr),
              BASE +
                  "  and cLogUser REGEXP 'root'   and dwSourceIP='167772165'  and (time >= "
                  "'1')  and (time <= '2')  " +
                  CONTENT_X)
        << "all conditions in their order";
}

TEST(FilterStatement, LongPatternsAreHeldWhole)
{
    std::string c = "a";
    for (int i = 0; i < 49; ++i)
        c += "内";  // three bytes each
    filter_inputs in;
    in.base = BASE;
    in.content = c;
    const std::string sql = filter_statement(in, nullptr);
    EXPECT_NE(sql.find(c + "' or cLogContent_fanti"), std::string::npos);
    EXPECT_EQ(sql.substr(sql.size() - c.size() - 3), c + "' )");
}

TEST(FilterStatement, DeletionForm)
{
    const std::string sql = BASE + "  and cLogUser REGEXP 'admin'     ";
    EXPECT_EQ(filter_delete_statement(sql, 42),
              "delete   from LogTab  where (dwIP = '16885952') and (dwLogType = '4')  and "
              "cLogUser REGEXP 'admin'      and (id_inc <= 42)");
    EXPECT_EQ(filter_delete_statement("select count(*) from LogTab", 1), "");
}
