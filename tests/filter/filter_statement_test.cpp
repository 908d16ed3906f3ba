// The filter statement built from values, without display or database.
#include "filter/filter_statement.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string BASE = "select * from LogTab  where (dwIP = '16885952') and (dwLogType = '4')";
const std::string CONTENT_X =
    " and (cLogContent_chinese REGEXP 'x' or cLogContent_fanti REGEXP 'x' or cLogContent_en "
    "REGEXP 'x' )";

struct row {
    const char* what;
    filter_inputs in;
    std::string tail;  // what follows BASE
};

// Inputs on BASE with what `set` changes.
template <class F> filter_inputs on_base(F set)
{
    filter_inputs in;
    in.base = BASE;
    set(in);
    return in;
}
filter_inputs user(const char* u)
{
    return on_base([&](filter_inputs& i) { i.user = u; });
}
filter_inputs ip(const char* a)
{
    return on_base([&](filter_inputs& i) { i.source_ip = a; });
}
filter_inputs content(const char* c)
{
    return on_base([&](filter_inputs& i) { i.content = c; });
}

}  // namespace

TEST(FilterStatement, Table)
{
    const row rows[] = {
        {"no input", on_base([](filter_inputs&) {}), "     "},
        {"user admin", user("admin"), "  and cLogUser REGEXP 'admin'     "},
        {"user _adm", user("_adm"), "     "},
        {"user with a leading blank", user(" x"), "     "},
        {"user with a Chinese first character", user("管理"), "     "},
        {"ip 192.168.1.1", ip("192.168.1.1"), "   and dwSourceIP='3232235777'    "},
        {"ip 192.168.1", ip("192.168.1"), "     "},
        {"ip 1.2.3.4.5", ip("1.2.3.4.5"), "   and dwSourceIP='16909060'    "},
        {"ip 300.0.0.1", ip("300.0.0.1"), "   and FALSE    "},
        {"ip a.b.c.d", ip("a.b.c.d"), "   and dwSourceIP='0'    "},
        {"ip with a part far above 255", ip("1.2.3.99999999999999999999"), "   and FALSE    "},
        {"start after end",
         on_base([](filter_inputs& i) { i.start_on = i.end_on = true, i.start = 100, i.end = 50; }),
         "   and (time >= '100')  and (time <= '50')  "},
        {"bounds not in force keep nothing",
         on_base([](filter_inputs& i) { i.start = 100, i.end = 50; }), "     "},
        {"content x", content("x"), "     " + CONTENT_X},
        {"content starting with a blank", content(" x"), "     "},
        {"quotes and backslashes are escaped", user("a'b\\c"),
         "  and cLogUser REGEXP 'a\\'b\\\\c'     "},
    };
    for (const row& r : rows)
        EXPECT_EQ(filter_statement(r.in, nullptr), BASE + r.tail) << r.what;
}

TEST(FilterStatement, AllConditionsInTheirOrder)
{
    filter_inputs in = on_base([](filter_inputs& i) {
        i.user = "root", i.source_ip = "10.0.0.5", i.content = "x";
        i.start_on = i.end_on = true, i.start = 1, i.end = 2;
    });
    EXPECT_EQ(filter_statement(in, nullptr),
              BASE +
                  "  and cLogUser REGEXP 'root'   and dwSourceIP='167772165'  "
                  "and (time >= '1')  and (time <= '2')  " +
                  CONTENT_X);
}

TEST(FilterStatement, LongPatternsAreHeldWhole)
{
    std::string c;
    for (int i = 0; i < 50; ++i)
        c += "内";  // three bytes each
    c = "a" + c.substr(0, c.size() - 3);
    filter_inputs in =
        on_base([&](filter_inputs& i) { i.user = std::string(30, 'u'), i.content = c; });
    const std::string sql = filter_statement(in, nullptr);
    EXPECT_GT(sql.size(), 500u);
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
    EXPECT_EQ(filter_delete_statement("", 1), "");
}
