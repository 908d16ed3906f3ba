#include "base/config.h"
#include "storage/mysql_ctrl.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(BmpText, KeepsWhatUcs2HoldsAndReplacesTheRest)
{
    EXPECT_EQ(bmp_utf8("abc 上网记录 網路記錄 é"), "abc 上网记录 網路記錄 é");
    // Outside the Basic Multilingual Plane: one U+FFFD per character.
    EXPECT_EQ(bmp_utf8("A\xF0\x9F\x98\x80"
                       "B\xF0\xA0\x80\x80"),
              "A\xEF\xBF\xBD"
              "B\xEF\xBF\xBD");
    // Not UTF-8 at all: a stray continuation byte, a lone lead byte, an
    // overlong form, an encoded surrogate, a sequence cut by the end.
    EXPECT_EQ(bmp_utf8("a\x80z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(bmp_utf8("a\xFFz"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(bmp_utf8("\xC0\xAF"), "\xEF\xBF\xBD");
    EXPECT_EQ(bmp_utf8("\xED\xA0\x80"), "\xEF\xBF\xBD");
    EXPECT_EQ(bmp_utf8("ok\xE4\xB8"), "ok\xEF\xBF\xBD");
    // A lead byte followed by ASCII keeps the ASCII.
    EXPECT_EQ(bmp_utf8("\xE4'x"), "\xEF\xBF\xBD'x");
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
    config_set_field(info.sql_port, "3307");
    db_settings s = settings_from_config(info);
    EXPECT_EQ(s.host, "127.0.0.1");
    EXPECT_EQ(s.user, "root");
    EXPECT_EQ(s.pass, "secret");
    EXPECT_EQ(s.port, 3307u);

    for (const char* text : {"", "abc", "0"}) {
        config_set_field(info.sql_port, text);
        EXPECT_EQ(settings_from_config(info).port, 0u) << text;
    }
    config_set_field(info.sql_port, "3306x");
    EXPECT_EQ(settings_from_config(info).port, 3306u);

    // A field of the file that is not terminated stops at its end.
    std::memset(info.user, 'u', sizeof info.user);
    EXPECT_EQ(settings_from_config(info).user, std::string(100, 'u'));
}

TEST(Helpers, WithoutAConnectionEverythingFailsCleanly)
{
    EXPECT_EQ(exe_sql("select 1"), -1);
    EXPECT_EQ(exe_sql_2("select 1"), -1);
    EXPECT_EQ(exe_sql(nullptr), -1);
    store_result();
    EXPECT_EQ(m_rs, nullptr);
    EXPECT_EQ(GetResult(), -1);
    EXPECT_STREQ(m_row_text(0), "");
}

TEST(Connect, RefusedPortAndDeadServerFailWithoutHanging)
{
    db_settings s;
    s.host = "127.0.0.1";
    s.port = 70000;
    EXPECT_EQ(connect_mysql(s), -1);
    s.port = 1;  // nothing listens there
    EXPECT_EQ(connect_mysql(s), -1);
    EXPECT_NE(mysql, nullptr);
    EXPECT_EQ(exe_sql("select 1"), -1);
    close_mysql();
    EXPECT_EQ(mysql, nullptr);
}
