#include "storage/tree_delete.h"

#include "base/other_func.h"
#include "email/python_interface.h"
#include "storage/mysql_ctrl.h"
#include "storage/mysql_data.h"
#include "storage/page_set.h"

namespace {
constexpr unsigned ALL_TYPES = 128;
}

std::string delete_tree_item_statement(unsigned ip, unsigned type)
{
    std::string sql = "delete  from LogTab where (dwIP = '" + std::to_string(ip) + "') ";
    if (type != ALL_TYPES)
        sql += "and (dwLogType = '" + std::to_string(type) + "')";
    return sql;
}

int delete_tree_item_records(unsigned ip, unsigned type)
{
    // Rows received before the operator confirmed are part of what goes.
    store_waiting_rows();
    return exe_sql(time_limited(delete_tree_item_statement(ip, type), delete_time_limit_s).c_str());
}

std::string router_mail_dir(unsigned ip)
{
    char dotted[16];
    convert_ip_2_r(ip, dotted, sizeof dotted);
    return std::string("mail_save/") + dotted + "/";
}

int delete_router_mails(unsigned ip) { return py_del_email_all(router_mail_dir(ip).c_str()); }
