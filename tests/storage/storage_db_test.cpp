#include "app/mysql_init.h"
#include "base/config.h"
#include "gui/message_box.h"
#include "storage/mysql_ctrl.h"
#include "support/gui_support.h"
#include "support/scratch_dir.h"
#include "support/startup_child.h"
#include "support/test_db.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <string>
#include <vector>

namespace {

// Runs a query on `mysql` through the program's helpers; rows joined by '|'.
std::vector<std::string> program_rows(const char* sql)
{
    std::vector<std::string> out;
    EXPECT_EQ(exe_sql(sql), 0) << sql << ": " << mysql_error(mysql);
    store_result();
    const unsigned n = m_rs ? mysql_num_fields(m_rs) : 0;
    while (GetResult() == 0) {
        std::string line;
        for (unsigned i = 0; i < n; ++i)
            line += (i ? "|" : "") + std::string(m_row[i]);
        out.push_back(line);
    }
    return out;
}

class StorageDb : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TEST_DB();
        write_test_db_config();
        // Every connection here must succeed: a dialog would be a failure.
        ensure_gtk();
        set_dialog_answerer([](GtkDialog* d) -> int {
            std::fprintf(stderr, "unexpected dialog: %s\n", dialog_message(d).c_str());
            std::_Exit(1);
        });
    }
    void TearDown() override
    {
        stop_scripting_dialogs();
        close_mysql();
    }
    scratch_dir dir_;
};

}  // namespace

TEST_F(StorageDb, FirstStartBuildsTheSchemaAndTheSecondSendsNoSchemaStatement)
{
    admin_db db;
    for (const std::string step : {"no LogDB", "LogDB without its table", "second start"}) {
        SCOPED_TRACE(step);
        if (step != "second start")
            db.exec("drop database if exists LogDB");
        if (step == "LogDB without its table")
            db.exec("create database LogDB CHARACTER SET ucs2");
        init_mysql();
        // Schema statements this session has sent, as "Com_<kind>|count".
        const auto sent = program_rows("show session status where Value > 0 and Variable_name in ("
                                       "'Com_create_db', 'Com_create_table', 'Com_alter_table', "
                                       "'Com_create_index', 'Com_alter_db')");
        if (step == "second start")
            EXPECT_EQ(sent, std::vector<std::string> {});
        else
            EXPECT_NE(std::find(sent.begin(), sent.end(), "Com_create_table|1"), sent.end());
        EXPECT_EQ(db.scalar("select DEFAULT_CHARACTER_SET_NAME from information_schema.SCHEMATA "
                            "where SCHEMA_NAME = 'LogDB'"),
                  "ucs2");
        EXPECT_EQ(db.rows("select INDEX_NAME, group_concat(COLUMN_NAME order by SEQ_IN_INDEX) "
                          "from information_schema.STATISTICS where TABLE_SCHEMA = 'LogDB' and "
                          "TABLE_NAME = 'LogTab' group by INDEX_NAME order by binary INDEX_NAME"),
                  (std::vector<std::string> {"PRIMARY|id_inc", "idx_ip_time|dwIP,time",
                                             "idx_ip_type_time|dwIP,dwLogType,time"}));
        close_mysql();
    }
}

TEST_F(StorageDb, EmptyAddressAndPortReachTheLocalServer)
{
    // The test server as the local one: the client library reads these at its
    // start, before the first connection of the process.
    setenv("MYSQL_UNIX_PORT", test_db_env("LOGSERVER_TEST_DB_SOCKET").c_str(), 1);
    setenv("MYSQL_TCP_PORT", test_db_env("LOGSERVER_TEST_DB_PORT").c_str(), 1);
    std::remove(CONFIG_FILE);  // no "config": empty address, user, password and port

    init_mysql();
    EXPECT_EQ(program_rows("select @@port, @@socket"),
              (std::vector<std::string> {test_db_env("LOGSERVER_TEST_DB_PORT") + "|" +
                                         test_db_env("LOGSERVER_TEST_DB_SOCKET")}));
    EXPECT_EQ(exe_sql_2("select 1"), 0);
}

TEST_F(StorageDb, ResultsAreTakenOnlyFromASuccessfulStatement)
{
    init_mysql();
    // NULL cells, and cells past the last, read as empty texts.
    ASSERT_EQ(exe_sql("select NULL, 'x', NULL"), 0);
    store_result();
    ASSERT_EQ(GetResult(), 0);
    EXPECT_EQ((std::vector<std::string> {m_row[0], m_row[1], m_row_text(2), m_row_text(3)}),
              (std::vector<std::string> {"", "x", "", ""}));
    EXPECT_EQ(GetResult(), -1);
    EXPECT_EQ(m_row, nullptr);

    // A failed statement leaves nothing to read, even the previous result.
    ASSERT_EQ(exe_sql("select 1 union select 2"), 0);
    store_result();
    EXPECT_EQ(exe_sql("select * from no_such_table"), -1);
    EXPECT_EQ(GetResult(), -1);
    store_result();
    EXPECT_EQ(GetResult(), -1);

    // A result nobody took neither reads as rows nor blocks the next statement.
    ASSERT_EQ(exe_sql("select 7"), 0);
    EXPECT_EQ(GetResult(), -1);
    EXPECT_EQ(program_rows("select 8"), (std::vector<std::string> {"8"}));
    // A statement that returns no rows has no result.
    ASSERT_EQ(exe_sql("do 1"), 0);
    store_result();
    EXPECT_EQ(GetResult(), -1);
}

// Texts are stored as characters, what ucs2 cannot hold replaced, and both
// connections come back after a restart (in utf8mb4, or the texts would differ).
TEST_F(StorageDb, TextsRoundTripAndBothConnectionsRecoverWhenTheServerRestarts)
{
    init_mysql();
    ASSERT_EQ(exe_sql("delete from LogTab"), 0);
    const std::string simplified = "上网记录：用户登录成功，攻击报警";
    const std::string traditional = "上網記錄：用戶登錄成功，攻擊報警";
    const std::string sql = "insert into LogTab (cLogUser, cLogContent, cLogContent_chinese, "
                            "cLogContent_fanti) values ('用户', 'raw \xFF 😀', '" +
        simplified + "', '" + traditional + "')";
    ASSERT_EQ(exe_sql_2(sql.c_str()), 0) << mysql_error(mysql_2);
    const std::string before = program_rows("select connection_id()").at(0);

    ASSERT_EQ(restart_test_db(), 0);
    EXPECT_EQ(exe_sql_2("insert into LogTab (cLogContent) values ('after restart')"), 0)
        << mysql_error(mysql_2);
    EXPECT_EQ(program_rows("select cLogUser, cLogContent, cLogContent_chinese, cLogContent_fanti "
                           "from LogTab order by id_inc"),
              (std::vector<std::string> {
                  "用户|raw \xEF\xBF\xBD \xEF\xBF\xBD|" + simplified + "|" + traditional,
                  "|after restart||",
              }))
        << "LogDB selected again on both connections";
    EXPECT_NE(program_rows("select connection_id()").at(0), before);
    // Stored as characters, not as bytes reinterpreted: two bytes each in ucs2.
    EXPECT_EQ(program_rows("select length(cLogUser), char_length(cLogUser) from LogTab "
                           "where cLogUser = '用户'"),
              (std::vector<std::string> {"4|2"}));
    exe_sql("delete from LogTab");
}
