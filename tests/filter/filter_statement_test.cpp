// The filter statement built from values, without display or database.
#include "filter/filter_statement.h"

#include <gtest/gtest.h>

#include <string>

// Inputs are written with designated initializers; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

const std::string BASE = "select * from LogTab  where (dwIP = '16885952') and (dwLogType = '4')";
const std::string CONTENT_X =
    " and (cLogContent_chinese REGEXP 'x' or cLogContent_fanti REGEXP 'x' or cLogContent_en "
    "REGEXP 'x' )";

}  // namespace

TEST(FilterStatement, Table)
{
    const struct {
        const char* what;
        filter_inputs in;  // on BASE
        std::string tail;  // what follows BASE
    } rows[] = {
        {"no input", {}, "     "},
        {"user admin", {.user = "admin"}, "  and cLogUser REGEXP 'admin'     "},
        {"user _adm", {.user = "_adm"}, "     "},
        {"user with a leading blank", {.user = " x"}, "     "},
        {"user with a Chinese first character", {.user = "管理"}, "     "},
        {"ip 192.168.1.1", {.source_ip = "192.168.1.1"}, "   and dwSourceIP='3232235777'    "},
        {"ip 192.168.1", {.source_ip = "192.168.1"}, "     "},
        {"ip 1.2.3.4.5", {.source_ip = "1.2.3.4.5"}, "   and dwSourceIP='16909060'    "},
        {"ip 300.0.0.1", {.source_ip = "300.0.0.1"}, "   and FALSE    "},
        {"ip a.b.c.d", {.source_ip = "a.b.c.d"}, "   and dwSourceIP='0'    "},
        {"ip part far above 255", {.source_ip = "1.2.3.99999999999999999999"}, "   and FALSE    "},
        {"start > end",
         {"", "", "", true, 100, true, 50},
         "   and (time >= '100')  and (time <= '50')  "},
        {"bounds not in force keep nothing", {.start = 100, .end = 50}, "     "},
        {"content x", {.content = "x"}, "     " + CONTENT_X},
        {"content starting with a blank", {.content = " x"}, "     "},
        {"quotes, backslashes", {.user = "a'b\\c"}, "  and cLogUser REGEXP 'a\\'b\\\\c'     "},
        {"all conditions in their order",
         {"", "root", "10.0.0.5", true, 1, true, 2, "x"},
         "  and cLogUser REGEXP 'root'   and dwSourceIP='167772165'  and (time >= '1')  and "
         "(time <= '2')  " +
             CONTENT_X},
    };
    for (auto r : rows) {
        r.in.base = BASE;
        EXPECT_EQ(filter_statement(r.in, nullptr), BASE + r.tail) << r.what;
    }
}

TEST(FilterStatement, LongPatternsAreHeldWhole)
{
    std::string c;
    for (int i = 0; i < 50; ++i)
        c += "内";  // three bytes each
    c = "a" + c.substr(0, c.size() - 3);
    const filter_inputs in {.base = BASE, .user = std::string(30, 'u'), .content = c};
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
