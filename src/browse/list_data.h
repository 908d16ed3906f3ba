// The record list: one page of stored records of the router and type chosen
// in the device tree.
#pragma once

#include <gtk/gtk.h>

// Columns of `store_list` (13 to 19 are not used).
enum {
    LIST_COL_NUMBER = 0,
    LIST_COL_TYPE_CN = 1,
    LIST_COL_USER = 2,
    LIST_COL_CONTENT_CN = 3,
    LIST_COL_TIME = 4,
    LIST_COL_SOURCE = 5,
    LIST_COL_ROUTER = 6,
    LIST_COL_NOTE = 7,
    LIST_COL_TYPE_EN = 8,
    LIST_COL_CONTENT_EN = 9,
    LIST_COL_TYPE_TW = 10,
    LIST_COL_CONTENT_TW = 11,
    LIST_COL_ID = 12,
    LIST_N_COLS = 20,
};

extern GtkWidget* treeview_list;
extern GtkListStore* store_list;
extern GtkWidget* scrolled_TreeView;

// Id of the first selected record after the last cursor change; all bits
// set when nothing is selected.
extern guint select_id_list;

// Builds the scrolled window, the view, its columns and the store.
void InitTreeView();
void setup_tree_view_column(GtkWidget* view);
void InitStore();

// Appends a row numbered pFirstData and returns it in pIter.
void add_one_row(guint pFirstData, GtkTreeIter* pIter);
// Sets string column `index` / unsigned column `index` of a row.
void modify_one_row(GtkTreeIter* pIter, const char* pData, int index);
void modify_one_row_num(GtkTreeIter* pIter, guint data, int index);
// Removes all rows; index_list becomes 0.
void RemoveAll();

// Signal handlers of the view.
void cursor_change_list(GtkTreeView* view, gpointer data);
gboolean click_tree_list(GtkWidget* widget, GdkEventButton* event, gpointer data);

// Titles and visible label and content columns for a language (0
// simplified, 1 English, 2 traditional).
void change_language_list(unsigned lang);
