// The test database for the browsing tests: connects the program's first
// connection to the test command's MariaDB and empties LogTab.
#pragma once

#include "storage/mysql_ctrl.h"
#include "storage/page_set.h"

#include <cstdlib>
#include <string>

// False when the test command provides no database.
inline bool connect_test_db()
{
    const char* port = std::getenv("LOGSERVER_TEST_DB_PORT");
    if (!port)
        return false;
    db_settings s;
    s.host = "127.0.0.1";
    s.user = "root";
    s.port = static_cast<unsigned>(std::atoi(port));
    if (connect_mysql(s) != 0)
        return false;
    open_schema();
    return exe_sql("truncate table LogTab") == 0;
}

struct stored_row {
    unsigned ip = 0x0101A8C0;  // 192.168.1.1
    unsigned type = 1;
    unsigned source = 0;
    std::string user;
    std::string content;
    unsigned time = 0;
    std::string cn, tw, en;
};

// Stores one row; ids count up from 1 after connect_test_db.
inline bool store_row(const stored_row& r)
{
    auto q = [](const std::string& t) { return "'" + sql_text(mysql, t) + "'"; };
    std::string sql =
        "insert into LogTab (dwIP, dwLogType, dwSourceIP, cLogUser, cLogContent, cLogNote, time, "
        "cLogContent_chinese, cLogContent_fanti, cLogContent_en) values (" +
        std::to_string(r.ip) + "," + std::to_string(r.type) + "," + std::to_string(r.source) + "," +
        q(r.user) + "," + q(r.content) + ",''," + std::to_string(r.time) + "," + q(r.cn) + "," +
        q(r.tw) + "," + q(r.en) + ")";
    return exe_sql(sql.c_str()) == 0;
}

// Stores n rows of one router and type with times first_time, first_time+1,
// ... and the texts "row 0", "row 1", ...
inline void store_rows(unsigned n, unsigned ip, unsigned type, unsigned first_time = 1000)
{
    for (unsigned i = 0; i < n; ++i) {
        const std::string text = "row " + std::to_string(i);
        store_row({ip, type, 0, "", text, first_time + i, text, text, text});
    }
}

inline long long table_rows() { return get_sql_counter("select * from LogTab"); }
