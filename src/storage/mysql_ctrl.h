// The two MariaDB connections, the schema, and the statement helpers.
#pragma once

#include <mysql.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct config_info_;

// `mysql`: schema, queries, deletions, exports. `mysql_2`: insertion of
// received records only. Both stay at the same address for the whole run,
// also across reconnections.
extern MYSQL* mysql;
extern MYSQL* mysql_2;
extern MYSQL_RES* m_rs;  // result set last taken from `mysql`
extern MYSQL_ROW m_row;  // row last fetched from it

// Runs one statement on `mysql` / `mysql_2`; 0 on success, -1 on any error.
// A statement that fails because the server went away is run once more after
// one reconnection. A failed statement on `mysql` also drops `m_rs`.
int exe_sql(const char* pCmd);
int exe_sql_2(const char* pCmd);

// Takes the result of the last statement on `mysql` into `m_rs` (the previous
// result set is freed).
void store_result();

// Fetches the next row of `m_rs` into `m_row`: 0 when a row came, -1 when
// there are no more rows or no result. SQL NULL cells read as "".
int GetResult();

// Column `i` of `m_row` as text ("" for NULL or no row).
const char* m_row_text(int i);

// Text escaped for a single-quoted literal on a connection, with characters
// outside the Basic Multilingual Plane replaced by U+FFFD first (the ucs2
// columns cannot hold them).
std::string sql_text(MYSQL* conn, std::string_view text);

// UTF-8 text that the ucs2 columns can hold: characters outside the Basic
// Multilingual Plane, and bytes that are not UTF-8, become U+FFFD.
std::string bmp_utf8(std::string_view text);

int CreateDB();
int InitTab();

// What a connection is opened with.
struct db_settings {
    std::string host;  // "" for the local server
    std::string user;
    std::string pass;
    unsigned port = 0;  // 0 for the client library's default (3306)
};

// The settings of a configuration record; a port that is empty or not a
// number is 0, as with atoi.
db_settings settings_from_config(const config_info_& info);

// Opens `mysql` / `mysql_2` (connection character set utf8mb4, a connect
// timeout of a few seconds); 0 or -1. A handle that was open is closed first.
int connect_mysql(const db_settings& s);
int connect_mysql_2(const db_settings& s);

// The settings `mysql` was last opened with (for a connection of a job's
// own, such as the export worker's).
db_settings query_settings();

// Selects LogDB on `mysql`, creating the database and the table when LogDB is
// missing, and the table alone when LogDB exists without it.
void open_schema();

// Closes both connections and frees `m_rs`.
void close_mysql();

// How one insert statement on `mysql_2` ended.
enum class insert_outcome {
    stored,    // the server took it
    refused,   // the server answered with an error: nothing stored
    not_sent,  // no connection: nothing stored
    unknown,   // the connection died while it ran: stored or not
};

// Runs an insert statement on `mysql_2` once, never again by itself; when
// stored, `first_id` is the first row id it assigned. Without a connection
// it is not sent (reconnect_2 opens one).
insert_outcome insert_once_2(const std::string& sql, uint64_t& first_id);
// Whether `mysql_2` is connected as far as known.
bool connected_2();
// One new connection for `mysql_2` with LogDB selected; after a failed
// attempt not again within a second. True when connected.
bool reconnect_2();
// The first cell of the first row of a query on `mysql_2` as a number:
// 0 with `value` (nothing for no row or NULL), -1 when the server refused
// it, -2 when the connection is lost or missing.
int query_number_2(const std::string& sql, std::optional<uint64_t>& value);
