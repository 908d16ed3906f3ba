#include "base/config.h"
#include "storage/mysql_ctrl.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(BmpText, KeepsWhatUcs2HoldsAndReplacesTheRest)
{
    const std::string bad = "\xEF\xBF\xBD";  // U+FFFD
    const std::pair<std::string, std::string> cases[] = {
        {"abc 上网记录 網路記錄 é", "abc 上网记录 網路記錄 é"},
        {"\xF0\x9F\x98\x80-\xF0\xA0\x80\x80", bad + "-" + bad},  // outside the BMP
        {"a\x80z", "a" + bad + "z"},                             // stray continuation byte
        {"\xC0\xAF", bad},                                       // overlong form
        {"\xED\xA0\x80", bad},                                   // encoded surrogate
        {"ok\xE4\xB8", "ok" + bad},                              // cut by the end
        {"\xE4'x", bad + "'x"},  // a lead byte followed by ASCII keeps the ASCII
    };
    for (const auto& [text, want] : cases)
        EXPECT_EQ(bmp_utf8(text), want) << testing::PrintToString(text);
}

// Escaping is tested in tests/app/extern_test.cpp; here, that what ucs2
// cannot hold is replaced before the text is escaped.
TEST(SqlText, ReplacesBeforeEscaping)
{
    EXPECT_EQ(sql_text(nullptr, std::string_view("\xF0\x9F\x98\x80'\0", 6)), "\xEF\xBF\xBD\\'\\0");
}

TEST(Settings, TakenFromTheConfigurationRecordAsAtStartUp)
{
    config_info_ info {};
    config_set_field(info.ip, "127.0.0.1");
    config_set_field(info.user, "root");
    config_set_field(info.pass, "secret");
    for (const auto& [text, port] :
         {std::pair {"3307", 3307u}, {"3306x", 3306u}, {"abc", 0u}, {"-1", 65536u}}) {
        config_set_field(info.sql_port, text);
        const db_settings s = settings_from_config(info);
        EXPECT_EQ(std::tie(s.host, s.user, s.pass, s.port),
                  std::tie("127.0.0.1", "root", "secret", port))
            << text;
    }
    // A field of the file that is not terminated stops at its end.
    std::memset(info.user, 'u', sizeof info.user);
    EXPECT_EQ(settings_from_config(info).user, std::string(100, 'u'));
}

TEST(Connect, WithoutAServerEverythingFailsCleanlyAndWithoutHanging)
{
    EXPECT_EQ(exe_sql("select 1"), -1);
    EXPECT_EQ(exe_sql_2("select 1"), -1);
    EXPECT_EQ(exe_sql(nullptr), -1);
    store_result();
    EXPECT_EQ(m_rs, nullptr);
    EXPECT_EQ(GetResult(), -1);
    EXPECT_STREQ(m_row_text(0), "");

    db_settings s;
    s.host = "127.0.0.1";
    s.port = 70000;
    EXPECT_EQ(connect_mysql(s), -1);
    EXPECT_NE(mysql, nullptr);
    EXPECT_EQ(exe_sql("select 1"), -1);
    close_mysql();
    EXPECT_EQ(mysql, nullptr);
}
