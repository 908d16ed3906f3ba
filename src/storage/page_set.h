// Statements of the record list and the device tree, the paging state, and
// the conversion of a stored row into the texts the list shows.
#pragma once

#include <string>
#include <vector>

// Rows on one page of the record list.
inline constexpr unsigned PAGE_ROWS = 20;

// Byte limits of the display texts of one row.
inline constexpr std::size_t ROW_CONTENT_MAX = 400;
inline constexpr std::size_t ROW_TEXT_MAX = 50;

// Offset of the first row of the page shown; a multiple of PAGE_ROWS.
extern unsigned current_pag;
// The current statement without limit and order, as last given to sql_get_page.
extern std::string sql_cmd_store_1;
// Statement of the router and type shown in the list, without limit and
// order; written on every tree selection, narrowed by the filter window.
// Empty until the first selection.
extern std::string sql_cmd_filter;
// Rows put into the list since it was last cleared.
extern int index_list;

// "select * from LogTab  where (dwIP = '%u') %s", the %s being
// "and (dwLogType = '%u')", or empty for type 128 (all types).
std::string list_statement(unsigned RouterIP, unsigned type);

// "delete  from LogTab where (id_inc = '%u') limit 1".
std::string delete_one_statement(unsigned id);

// Counts of each router and type, with the smallest id of each group.
extern const char* const TREE_GROUPS_STATEMENT;

// current_pag = 0.
void reset_page();
// Remembers pSql in sql_cmd_store_1 and appends "   limit <current_pag>,20".
void sql_get_page(std::string& pSql);
// current_pag += 20; pSql = "<sql_cmd_store_1> limit <current_pag>,20".
void sql_next_page(std::string& pSql);
// current_pag -= 20 (0 when below 20); pSql as for sql_next_page.
void sql_pre_page(std::string& pSql);
// Puts " ORDER BY time DESC, id_inc DESC " before the paging clause, in place. The paging
// clause is the last " limit" (a filter pattern may hold the word too); a
// statement without one gets the clause at its end.
void sql_add_order(std::string& pSql);

// Number of rows of a statement (given without limit and order): counts from
// its first "from" on. -1 when it has no "from" or the count fails.
long long get_sql_counter(const std::string& pSql_cmd);

// Display texts of one stored row. Label and content arrays are in the order
// simplified Chinese, English, traditional Chinese.
struct log_display_row {
    unsigned type = 0;
    const char* type_label[3] = {"", "", ""};
    std::string user;        // at most ROW_TEXT_MAX bytes
    std::string content[3];  // at most ROW_CONTENT_MAX bytes each
    std::string time;        // at most ROW_TEXT_MAX bytes
    std::string source_ip;
    std::string router_ip;
    unsigned id = 0;
};

// Converts the current row of the first connection (m_row, a "select *"
// row) into display texts. Texts are cut at character boundaries. Uses no
// shared buffer, so the export worker may call it too.
void GetOneRowFromDB(log_display_row& out);
// The same for a row of the caller's: `row` holds the `fields` cells of a
// "select *" row of LogTab (null cells read as ""). Touches no shared row,
// so a thread with a connection of its own (the export worker) uses it.
// With `whole_texts` the user and content texts are not cut (the export
// writes them whole).
void GetOneRowFromDB(char** row, unsigned fields, log_display_row& out, bool whole_texts = false);

// Decides whether a record kind, the first word of its content, shows its
// source address lowest byte first. Until one is installed none does.
using source_reversed_fn = bool (*)(const char* first_word);
void set_source_reversed_test(source_reversed_fn fn);

// The form in which an ordered, paged "select * from LogTab ..." statement
// is sent: the page's ids are picked from the index alone and only those
// rows are read, so a far page costs no more than the first. Other
// statements are sent as they are.
std::string page_query_text(const std::string& ordered);

// Seconds that a page of the list or a filter count may run on the server
// before the server stops it (MariaDB's max_statement_time); 0 for no
// limit. 30 unless changed.
extern double query_time_limit_s;

// Seconds a deletion the operator asked for may run on the server before it
// stops it (the deletion is then undone as a whole); 0 for no limit. 300
// unless changed: removing rows takes longer than counting them.
extern double delete_time_limit_s;

// The statement run with a time limit: "SET STATEMENT max_statement_time=<s>
// FOR <statement>"; the statement itself when seconds is not above 0.
std::string time_limited(const std::string& statement, double seconds);

// Adds the order clause to a paged statement, runs it on the first
// connection within query_time_limit_s and converts its rows. -1 when the
// statement fails (mysql_errno tells why).
int read_page_rows(std::string paged, std::vector<log_display_row>& rows);

// One router and type of the stored rows, for the device tree.
struct tree_group {
    unsigned ip = 0;
    unsigned type = 0;
    unsigned count = 0;
    unsigned first_id = 0;  // smallest id_inc of the group
};

// Orders groups as rows read one by one in id order would place them:
// routers by their first row, and each router's types by their first row.
void order_tree_groups(std::vector<tree_group>& groups);

// Reads the groups of the whole table (TREE_GROUPS_STATEMENT) in that order.
// -1 when the statement fails.
int read_tree_groups(std::vector<tree_group>& out);
