#include "storage/page_set.h"

#include "base/other_func.h"
#include "base/utf8_cut.h"
#include "base/log_types.h"
#include "storage/mysql_ctrl.h"
#include "storage/mysql_data.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unordered_map>

unsigned current_pag = 0;
std::string sql_cmd_store_1;
std::string sql_cmd_filter;
int index_list = 0;
double query_time_limit_s = 30;
double delete_time_limit_s = 300;

const char* const TREE_GROUPS_STATEMENT =
    "select dwIP, dwLogType, count(*), min(id_inc) from LogTab group by dwIP, dwLogType";

namespace {

// Rows of one second (a router sends many) come newest first too, and keep
// one order from page to page; the indexes on time end in id_inc.
constexpr std::string_view ORDER_CLAUSE = " ORDER BY time DESC, id_inc DESC ";
constexpr std::string_view COUNT_HEAD = "SELECT COUNT(*) ";

source_reversed_fn source_reversed = nullptr;

unsigned to_u32(const char* text)
{
    return static_cast<unsigned>(std::strtoull(text, nullptr, 10));
}

std::string paged(const std::string& base, const char* gap, unsigned offset)
{
    return base + gap + "limit " + std::to_string(offset) + "," + std::to_string(PAGE_ROWS);
}

}  // namespace

std::string list_statement(unsigned RouterIP, unsigned type)
{
    std::string cond;
    if (type != 128)
        cond = "and (dwLogType = '" + std::to_string(type) + "')";
    return "select * from LogTab  where (dwIP = '" + std::to_string(RouterIP) + "') " + cond;
}

std::string delete_one_statement(unsigned id)
{
    return "delete  from LogTab where (id_inc = '" + std::to_string(id) + "') limit 1";
}

void reset_page() { current_pag = 0; }

void sql_get_page(std::string& pSql)
{
    sql_cmd_store_1 = pSql;
    pSql = paged(pSql, "   ", current_pag);
}

void sql_next_page(std::string& pSql)
{
    current_pag += PAGE_ROWS;
    pSql = paged(sql_cmd_store_1, " ", current_pag);
}

void sql_pre_page(std::string& pSql)
{
    current_pag = current_pag < PAGE_ROWS ? 0 : current_pag - PAGE_ROWS;
    pSql = paged(sql_cmd_store_1, " ", current_pag);
}

void sql_add_order(std::string& pSql)
{
    std::size_t at = pSql.rfind(" limit");
    if (at == std::string::npos) {
        pSql.append(" ").append(ORDER_CLAUSE);
        return;
    }
    std::string out = pSql.substr(0, at);
    out.append(" ").append(ORDER_CLAUSE).append(" ").append(pSql, at + 1);
    pSql = std::move(out);
}

long long get_sql_counter(const std::string& pSql_cmd)
{
    std::size_t from = pSql_cmd.find("from");
    if (from == std::string::npos)
        return -1;
    std::string cmd(COUNT_HEAD);
    cmd.append(" ").append(pSql_cmd, from);
    store_waiting_rows();
    if (exe_sql(cmd.c_str()) != 0)
        return -1;
    store_result();
    if (GetResult() != 0)
        return -1;
    return std::strtoll(m_row_text(0), nullptr, 10);
}

std::string page_query_text(const std::string& ordered)
{
    constexpr std::string_view HEAD = "select * from LogTab";
    if (ordered.compare(0, HEAD.size(), HEAD) != 0 ||
        ordered.find(ORDER_CLAUSE) == std::string::npos)
        return ordered;
    std::string out = "select LogTab.* from LogTab join (select id_inc from LogTab";
    out.append(ordered, HEAD.size()).append(") k using (id_inc)").append(ORDER_CLAUSE);
    return out;
}

std::string time_limited(const std::string& statement, double seconds)
{
    if (!(seconds > 0))
        return statement;
    char head[80];
    std::snprintf(head, sizeof head, "SET STATEMENT max_statement_time=%.3f FOR ", seconds);
    return head + statement;
}

void set_source_reversed_test(source_reversed_fn fn) { source_reversed = fn; }

namespace {

// The display texts of a "select *" row whose cells `m_row_text` gives.
template <class Cells>
void convert_row(Cells m_row_text, log_display_row& out, bool whole_texts = false)
{
    out.type = to_u32(m_row_text(1));
    for (unsigned lang = 0; lang < 3; ++lang)
        out.type_label[lang] = list_type_label(out.type, lang);

    // Simplified, English, traditional.
    const int content_cols[3] = {8, 10, 9};
    for (int i = 0; i < 3; ++i)
        out.content[i] =
            utf8_cut(m_row_text(content_cols[i]), whole_texts ? SIZE_MAX : ROW_CONTENT_MAX);
    out.user = utf8_cut(m_row_text(3), whole_texts ? SIZE_MAX : ROW_TEXT_MAX);

    char buf[ROW_TEXT_MAX + 1];
    ConvertTime_r(to_u32(m_row_text(7)), buf, sizeof buf);
    out.time = buf;

    unsigned source = to_u32(m_row_text(2));
    bool reversed = false;
    if (source_reversed) {
        std::string_view content = m_row_text(4);
        std::string first_word(content.substr(0, content.find(' ')));
        reversed = source_reversed(first_word.c_str());
    }
    if (reversed)
        convert_ip_2_r(source, buf, sizeof buf);
    else
        convert_ip_r(source, buf, sizeof buf);
    out.source_ip = buf;

    convert_ip_2_r(to_u32(m_row_text(0)), buf, sizeof buf);
    out.router_ip = buf;
    out.id = to_u32(m_row_text(6));
}

}  // namespace

void GetOneRowFromDB(log_display_row& out)
{
    convert_row([](int i) { return m_row_text(i); }, out);
}

void GetOneRowFromDB(char** row, unsigned fields, log_display_row& out, bool whole_texts)
{
    convert_row(
        [row, fields](int i) -> const char* {
            return row && i >= 0 && static_cast<unsigned>(i) < fields && row[i] ? row[i] : "";
        },
        out, whole_texts);
}

int read_page_rows(std::string paged_sql, std::vector<log_display_row>& rows)
{
    rows.clear();
    sql_add_order(paged_sql);
    store_waiting_rows();
    if (exe_sql(time_limited(page_query_text(paged_sql), query_time_limit_s).c_str()) != 0)
        return -1;
    store_result();
    // A statement stopped while its rows were being sent has no result.
    if (!m_rs)
        return -1;
    while (GetResult() == 0) {
        rows.emplace_back();
        GetOneRowFromDB(rows.back());
    }
    return 0;
}

void order_tree_groups(std::vector<tree_group>& groups)
{
    std::unordered_map<unsigned, unsigned> router_first;
    for (const auto& g : groups) {
        auto [it, fresh] = router_first.emplace(g.ip, g.first_id);
        if (!fresh)
            it->second = std::min(it->second, g.first_id);
    }
    std::sort(groups.begin(), groups.end(), [&](const tree_group& a, const tree_group& b) {
        unsigned ra = router_first[a.ip], rb = router_first[b.ip];
        if (ra != rb)
            return ra < rb;
        return a.first_id < b.first_id;
    });
}

int read_tree_groups(std::vector<tree_group>& out)
{
    out.clear();
    store_waiting_rows();
    if (exe_sql(TREE_GROUPS_STATEMENT) != 0)
        return -1;
    store_result();
    while (GetResult() == 0)
        out.push_back({to_u32(m_row_text(0)), to_u32(m_row_text(1)), to_u32(m_row_text(2)),
                       to_u32(m_row_text(3))});
    order_tree_groups(out);
    return 0;
}
