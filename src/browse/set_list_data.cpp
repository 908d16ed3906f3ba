#include "browse/set_list_data.h"

#include "base/language.h"
#include "browse/button_wnd_list.h"
#include "browse/list_data.h"
#include "filter/filter_query.h"
#include "gui/message_box.h"
#include "storage/page_set.h"

#include <cstdio>
#include <vector>

namespace {

const tr3 LIST_TOO_LONG = {"读取记录超过%g秒,查询已停止",
                           "Reading the records took more than %g s; the query was stopped.",
                           "讀取記錄超過%g秒,查詢已停止"};

const tr3 DELETE_FAILED = {"删除记录失败,仍显示的记录未删除",
                           "Deleting the records failed; the records still shown were not deleted.",
                           "刪除記錄失敗,仍顯示的記錄未刪除"};
const tr3 DELETE_TOO_LONG = {"删除记录时间过长,已停止,仍显示的记录未删除",
                             "Deleting the records took too long and was stopped; the records "
                             "still shown were not deleted.",
                             "刪除記錄時間過長,已停止,仍顯示的記錄未刪除"};

void set_sensitive(GtkWidget* w, gboolean on)
{
    if (w)
        gtk_widget_set_sensitive(w, on);
}

// Runs a paged statement and appends its rows, numbered from first_number.
int fill_list(const std::string& paged, guint first_number)
{
    std::vector<log_display_row> rows;
    if (read_page_rows(paged, rows) != 0)
        return -1;
    for (const auto& row : rows) {
        ++index_list;
        put_row_to_list(first_number + static_cast<guint>(index_list) - 1, row);
    }
    return static_cast<int>(rows.size());
}

}  // namespace

void set_list_data() { }

void report_list_failure()
{
    if (last_filter_failure() != filter_failure::too_long)
        return;
    char text[200];
    std::snprintf(text, sizeof text, tr(LIST_TOO_LONG), query_time_limit_s);
    MessageBox_(text);
}

void report_delete_failure()
{
    MessageBox_(
        tr(last_filter_failure() == filter_failure::too_long ? DELETE_TOO_LONG : DELETE_FAILED));
}

void put_row_to_list(guint number, const log_display_row& row)
{
    GtkTreeIter it;
    add_one_row(number, &it);
    gtk_list_store_set(store_list, &it, LIST_COL_TYPE_CN, row.type_label[0], LIST_COL_TYPE_EN,
                       row.type_label[1], LIST_COL_TYPE_TW, row.type_label[2], LIST_COL_CONTENT_CN,
                       row.content[0].c_str(), LIST_COL_CONTENT_EN, row.content[1].c_str(),
                       LIST_COL_CONTENT_TW, row.content[2].c_str(), LIST_COL_USER, row.user.c_str(),
                       LIST_COL_TIME, row.time.c_str(), LIST_COL_SOURCE, row.source_ip.c_str(),
                       LIST_COL_ROUTER, row.router_ip.c_str(), LIST_COL_ID, row.id, -1);
}

void sql_to_list(guint RouterIP, guint type)
{
    RemoveAll();
    reset_page();
    std::string sql = list_statement(RouterIP, type);
    sql_cmd_filter = sql;
    sql_get_page(sql);
    index_list = 0;
    int n = fill_list(sql, 1);
    set_paging_buttons(n);
    if (n < 0)
        report_list_failure();
}

int sql_to_list_cmd(const std::string& pSql_cmd, guint* pCounter)
{
    if (pCounter)
        *pCounter = 0;
    RemoveAll();
    int n = fill_list(pSql_cmd, current_pag + 1);
    set_paging_buttons(n);
    if (n < 0)
        return -1;
    if (pCounter)
        *pCounter = static_cast<guint>(n);
    return 0;
}

void set_paging_buttons(int rows)
{
    set_sensitive(button1_list, current_pag > 0);
    set_sensitive(button2_list, rows >= static_cast<int>(PAGE_ROWS));
}
