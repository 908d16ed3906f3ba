#include "storage/mysql_ctrl.h"

#include "base/config.h"
#include "base/sql_escape.h"
#include "base/utf8_clean.h"

#include <errmsg.h>
#include <mysqld_error.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

// Connection attempts give up after this many seconds...
constexpr unsigned CONNECT_TIMEOUT_S = 3;
// ...and a lost connection is tried again at most this often.
constexpr auto RECONNECT_INTERVAL = std::chrono::seconds(1);

struct connection {
    MYSQL handle {};              // stays at this address for the whole run
    bool initialised = false;     // handle went through mysql_init
    bool open = false;            // connected, as far as we know
    bool result_pending = false;  // a result that nobody has taken yet
    db_settings settings;         // what it was opened with, for reconnection
    bool last_attempt_failed = false;
    clock_type::time_point last_attempt {};
};

connection g_main;
connection g_second;

std::vector<char*> g_row_cells;  // m_row: the fetched row with NULLs as ""
char g_empty_cell[1] = "";
unsigned g_row_fields = 0;

constexpr const char* USE_LOGDB = "use LogDB";

// The schema, in the order it is built.
constexpr const char* SCHEMA[13] = {
    "create database if not exists LogDB CHARACTER SET ucs2",
    "use LogDB",
    "create table if not exists LogTab(dwIP  INT UNSIGNED default 0)",
    "alter table LogTab add dwLogType INT UNSIGNED default 0",
    "alter table LogTab add dwSourceIP INT UNSIGNED default 0",
    "alter table LogTab add cLogUser char(32) default ''",
    "alter table LogTab add cLogContent TEXT(512) ",
    "alter table LogTab add cLogNote char(64) default ''",
    "alter table LogTab add id_inc int primary key auto_increment",
    "alter table LogTab add time int UNSIGNED default 0",
    "alter table LogTab add cLogContent_chinese TEXT(512) ",
    "alter table LogTab add cLogContent_fanti TEXT(512) ",
    "alter table LogTab add cLogContent_en TEXT(512) ",
};

// The list and filter queries select by router, type and time.
constexpr const char* INDEXES[2] = {
    "create index idx_ip_type_time on LogTab (dwIP, dwLogType, time)",
    "create index idx_ip_time on LogTab (dwIP, time)",
};

void close_connection(connection& c)
{
    if (c.initialised)
        mysql_close(&c.handle);
    c.initialised = false;
    c.open = false;
    c.result_pending = false;
}

int open_connection(connection& c, const db_settings& s)
{
    close_connection(c);
    c.settings = s;
    c.last_attempt = clock_type::now();
    c.last_attempt_failed = true;
    if (!mysql_init(&c.handle))
        return -1;
    c.initialised = true;
    // The widgets and the receivers hand over UTF-8.
    mysql_options(&c.handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    unsigned timeout = CONNECT_TIMEOUT_S;
    mysql_options(&c.handle, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    if (s.port > 65535)
        return -1;
    if (!mysql_real_connect(&c.handle, s.host.c_str(), s.user.c_str(), s.pass.c_str(), nullptr,
                            s.port, nullptr, 0))
        return -1;
    c.last_attempt_failed = false;
    c.open = true;
    return 0;
}

bool connection_gone(unsigned err)
{
    switch (err) {
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
    case ER_CONNECTION_KILLED:
    case ER_SERVER_SHUTDOWN:
        return true;
    default:
        return false;
    }
}

// Discards a result the caller did not take, so the next statement is not
// refused as out of sync.
void drain(connection& c)
{
    if (!c.result_pending)
        return;
    c.result_pending = false;
    mysql_free_result(mysql_store_result(&c.handle));
    while (mysql_next_result(&c.handle) == 0)
        mysql_free_result(mysql_store_result(&c.handle));
}

// One new connection with the settings it was opened with; after a failed
// attempt not again within a second, so a dead server cannot hold up every
// statement.
bool reconnect(connection& c)
{
    if (c.last_attempt_failed && clock_type::now() - c.last_attempt < RECONNECT_INTERVAL)
        return false;
    if (open_connection(c, c.settings) != 0)
        return false;
    mysql_query(&c.handle, USE_LOGDB);
    return true;
}

int query(connection& c, const std::string& stmt)
{
    if (mysql_real_query(&c.handle, stmt.data(), static_cast<unsigned long>(stmt.size())) != 0)
        return -1;
    c.result_pending = mysql_field_count(&c.handle) > 0;
    return 0;
}

int run(connection& c, const char* cmd)
{
    if (!c.initialised || !cmd)
        return -1;
    if (!c.open && !reconnect(c))
        return -1;
    drain(c);
    const std::string stmt = bmp_utf8(cmd);
    if (query(c, stmt) == 0)
        return 0;
    if (!connection_gone(mysql_errno(&c.handle)))
        return -1;
    c.open = false;
    if (!reconnect(c))
        return -1;
    return query(c, stmt);
}

void free_result()
{
    if (m_rs)
        mysql_free_result(m_rs);
    m_rs = nullptr;
    m_row = nullptr;
    g_row_fields = 0;
}

bool table_missing()
{
    if (run(g_main, "select 1 from LogTab limit 0") == 0)
        return false;
    return mysql_errno(&g_main.handle) == ER_NO_SUCH_TABLE;
}

// Schema statements from SCHEMA[first] on, then the indexes; stops at the
// first statement that fails.
int create_table_from(int first)
{
    for (int i = first; i < 13; ++i)
        if (exe_sql(SCHEMA[i]) != 0)
            return -1;
    for (const char* stmt : INDEXES)
        if (exe_sql(stmt) != 0)
            return -1;
    return 0;
}

}  // namespace

MYSQL* mysql = nullptr;
MYSQL* mysql_2 = nullptr;
MYSQL_RES* m_rs = nullptr;
MYSQL_ROW m_row = nullptr;

std::string bmp_utf8(std::string_view text) { return utf8_clean(text, {.bmp_only = true}); }

std::string sql_text(MYSQL*, std::string_view text) { return sql_escape(bmp_utf8(text)); }

db_settings settings_from_config(const config_info_& info)
{
    auto field = [](const char(&f)[100]) { return std::string(f, strnlen(f, sizeof f)); };
    db_settings s;
    s.host = field(info.ip);
    s.user = field(info.user);
    s.pass = field(info.pass);
    const int port = std::atoi(field(info.sql_port).c_str());
    s.port = port < 0 ? 65536u : static_cast<unsigned>(port);  // negative: refused
    return s;
}

int connect_mysql(const db_settings& s)
{
    free_result();
    const int rc = open_connection(g_main, s);
    mysql = &g_main.handle;
    return rc;
}

db_settings query_settings() { return g_main.settings; }

int connect_mysql_2(const db_settings& s)
{
    const int rc = open_connection(g_second, s);
    mysql_2 = &g_second.handle;
    return rc;
}

void close_mysql()
{
    free_result();
    close_connection(g_main);
    close_connection(g_second);
    mysql = nullptr;
    mysql_2 = nullptr;
}

int exe_sql(const char* pCmd)
{
    if (run(g_main, pCmd) == 0)
        return 0;
    // No result belongs to a failed statement.
    free_result();
    return -1;
}

int exe_sql_2(const char* pCmd)
{
    if (run(g_second, pCmd) != 0)
        return -1;
    drain(g_second);  // nobody takes results from this connection
    return 0;
}

void store_result()
{
    free_result();
    if (!g_main.initialised || !g_main.result_pending)
        return;
    g_main.result_pending = false;
    m_rs = mysql_store_result(&g_main.handle);
    if (m_rs)
        g_row_fields = mysql_num_fields(m_rs);
}

int GetResult()
{
    if (!m_rs)
        return -1;
    MYSQL_ROW row = mysql_fetch_row(m_rs);
    if (!row) {
        m_row = nullptr;
        return -1;
    }
    g_row_cells.assign(row, row + g_row_fields);
    for (char*& cell : g_row_cells)
        if (!cell)
            cell = g_empty_cell;
    g_row_cells.push_back(nullptr);
    m_row = g_row_cells.data();
    return 0;
}

const char* m_row_text(int i)
{
    if (!m_row || i < 0 || static_cast<unsigned>(i) >= g_row_fields)
        return "";
    return m_row[i];
}

int CreateDB() { return exe_sql(SCHEMA[0]); }

int InitTab() { return create_table_from(1); }

void open_schema()
{
    if (exe_sql(USE_LOGDB) != 0) {
        CreateDB();
        exe_sql(USE_LOGDB);
        InitTab();
        return;
    }
    // A first start that stopped half-way left LogDB without its table.
    if (table_missing())
        create_table_from(2);
}

insert_outcome insert_once_2(const std::string& sql, uint64_t& first_id)
{
    connection& c = g_second;
    if (!c.initialised || !c.open)
        return insert_outcome::not_sent;
    drain(c);
    if (query(c, bmp_utf8(sql)) == 0) {
        first_id = mysql_insert_id(&c.handle);
        drain(c);
        return insert_outcome::stored;
    }
    const unsigned err = mysql_errno(&c.handle);
    if (!connection_gone(err))
        return insert_outcome::refused;
    c.open = false;
    return insert_outcome::unknown;
}

bool connected_2() { return g_second.initialised && g_second.open; }

bool reconnect_2()
{
    if (connected_2())
        return true;
    if (g_second.last_attempt == clock_type::time_point {})
        return false;  // never opened: no settings to reconnect with
    return reconnect(g_second);
}

int query_number_2(const std::string& sql, std::optional<uint64_t>& value)
{
    connection& c = g_second;
    value.reset();
    if (!c.initialised || !c.open)
        return -2;
    drain(c);
    if (query(c, bmp_utf8(sql)) != 0) {
        if (!connection_gone(mysql_errno(&c.handle)))
            return -1;
        c.open = false;
        return -2;
    }
    c.result_pending = false;
    MYSQL_RES* res = mysql_store_result(&c.handle);
    if (!res) {
        if (mysql_errno(&c.handle) && connection_gone(mysql_errno(&c.handle))) {
            c.open = false;
            return -2;
        }
        return 0;
    }
    if (MYSQL_ROW row = mysql_fetch_row(res); row && row[0])
        value = std::strtoull(row[0], nullptr, 10);
    mysql_free_result(res);
    return 0;
}
