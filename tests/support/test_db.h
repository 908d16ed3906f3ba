// The test command's throwaway MariaDB, and a connection of the test's own.
#pragma once

#include <mysql.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

// Skips the calling test when the test command started no server.
#define REQUIRE_TEST_DB()                                                                          \
    do {                                                                                           \
        if (!std::getenv("LOGSERVER_TEST_DB_PORT"))                                                \
            GTEST_SKIP() << "no test database (run through scripts/test)";                         \
    } while (0)

inline std::string test_db_env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

// A connection as root over TCP; nullptr when the server does not answer.
inline MYSQL* test_db_connect(MYSQL* m)
{
    const auto port =
        static_cast<unsigned>(std::atoi(test_db_env("LOGSERVER_TEST_DB_PORT").c_str()));
    return mysql_real_connect(m, "127.0.0.1", "root", "", nullptr, port, nullptr, 0);
}

inline bool test_db_answers()
{
    MYSQL* m = mysql_init(nullptr);
    const bool ok = test_db_connect(m) != nullptr;
    mysql_close(m);
    return ok;
}

// Stops the server and starts it again on its data; 0 once it answers.
inline int restart_test_db()
{
    const std::string cmd = std::string(SOURCE_DIR) + "/scripts/mariadb_restart.sh '" +
        test_db_env("LOGSERVER_TEST_DB_DATADIR") + "' " + test_db_env("LOGSERVER_TEST_DB_PORT") +
        " '" + test_db_env("LOGSERVER_TEST_DB_SOCKET") + "'";
    return std::system(cmd.c_str());
}

class admin_db {
public:
    admin_db() : m_(mysql_init(nullptr))
    {
        mysql_options(m_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
        if (!test_db_connect(m_))
            ADD_FAILURE() << "admin connection: " << mysql_error(m_);
    }
    ~admin_db() { mysql_close(m_); }
    admin_db(const admin_db&) = delete;
    admin_db& operator=(const admin_db&) = delete;

    void exec(const std::string& sql) { rows(sql); }

    // Every row of a query, cells joined by '|' (NULL as "NULL").
    std::vector<std::string> rows(const std::string& sql)
    {
        std::vector<std::string> out;
        if (mysql_query(m_, sql.c_str()) != 0) {
            ADD_FAILURE() << sql << ": " << mysql_error(m_);
            return out;
        }
        MYSQL_RES* res = mysql_store_result(m_);
        const unsigned n = res ? mysql_num_fields(res) : 0;
        while (MYSQL_ROW row = res ? mysql_fetch_row(res) : nullptr) {
            std::string line;
            for (unsigned i = 0; i < n; ++i)
                line += (i ? "|" : "") + std::string(row[i] ? row[i] : "NULL");
            out.push_back(line);
        }
        mysql_free_result(res);
        return out;
    }

    std::string scalar(const std::string& sql)
    {
        auto r = rows(sql);
        return r.empty() ? "" : r.front();
    }

private:
    MYSQL* m_;
};
