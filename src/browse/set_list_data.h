// Filling the record list with one page of a statement.
#pragma once

#include <gtk/gtk.h>

#include <string>

struct log_display_row;

// Start-up hook after the window is assembled; changes nothing.
void set_list_data();

// First page of a router's records of one type, or of all its types for
// type 128. The base statement becomes sql_cmd_filter. A statement stopped at
// the time limit is reported (report_list_failure).
void sql_to_list(guint RouterIP, guint type);

// Rows of a complete paged statement; their number goes to *pCounter (0 when
// the statement fails). Rows are numbered from current_pag + 1; the paging
// buttons follow the page. 0, or -1 when the statement failed (the list is
// then empty).
int sql_to_list_cmd(const std::string& pSql_cmd, guint* pCounter);

// After a page of the list could not be read: when the server stopped the
// statement at its time limit (query_time_limit_s), says so in the current
// language, so the empty list is not taken for an empty result.
void report_list_failure();

// After a deletion the operator asked for failed: says in the current
// language whether the server stopped it at its time limit
// (delete_time_limit_s) or refused it, and that what is still shown was not
// deleted.
void report_delete_failure();

// The one paging rule: previous is sensitive when a page comes before the
// current one, next when the page shown (`rows` rows) was full.
void set_paging_buttons(int rows);

// Appends one display row numbered `number` to the list.
void put_row_to_list(guint number, const log_display_row& row);
