#include "filter/filter_query.h"

#include "filter/filter_statement.h"
#include "storage/mysql_ctrl.h"
#include "storage/mysql_data.h"
#include "storage/page_set.h"

#include <errmsg.h>
#include <mysqld_error.h>

#include <cstdlib>

filter_failure failure_of_error(unsigned err)
{
    switch (err) {
    case ER_STATEMENT_TIMEOUT:
        return filter_failure::too_long;
    case 0:  // failed before anything was sent
    case ER_CONNECTION_KILLED:
    case ER_SERVER_SHUTDOWN:
        return filter_failure::unreachable;
    default:
        return err >= CR_MIN_ERROR && err <= CR_MAX_ERROR ? filter_failure::unreachable
                                                          : filter_failure::rejected;
    }
}

filter_failure last_filter_failure()
{
    return mysql ? failure_of_error(mysql_errno(mysql)) : filter_failure::unreachable;
}

filter_count count_filter_matches(const std::string& statement)
{
    filter_count out;
    const std::size_t from = statement.find("from");
    if (from == std::string::npos) {
        out.failure = filter_failure::rejected;
        return out;
    }
    const std::string sql = "SELECT COUNT(*), MAX(id_inc) " + statement.substr(from);
    store_waiting_rows();
    if (exe_sql(time_limited(sql, query_time_limit_s).c_str()) != 0) {
        out.failure = last_filter_failure();
        return out;
    }
    store_result();
    if (GetResult() != 0) {
        out.failure = last_filter_failure();
        return out;
    }
    out.count = std::strtoll(m_row_text(0), nullptr, 10);
    out.max_id = std::strtoull(m_row_text(1), nullptr, 10);
    return out;
}

int delete_filter_matches(const std::string& statement, unsigned long long max_id)
{
    const std::string sql = filter_delete_statement(statement, max_id);
    if (sql.empty())
        return -1;
    return exe_sql(time_limited(sql, delete_time_limit_s).c_str());
}
