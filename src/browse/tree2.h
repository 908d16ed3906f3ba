// The device tree: one row per sending router, under it one row per log
// type, each with a running count.
#pragma once

#include "base/record.h"

#include <gtk/gtk.h>

#include <functional>

// Model columns of `store`.
enum {
    TREE_COL_NAME = 0,      // router row: dotted address or alias
    TREE_COL_LABEL_CN = 1,  // type row: simplified-Chinese label
    TREE_COL_COUNT = 2,
    TREE_COL_IP = 3,
    TREE_COL_TYPE = 4,  // 128 on router rows
    TREE_COL_LABEL_EN = 5,
    TREE_COL_LABEL_TW = 6,
    TREE_N_COLS = 7,
};

extern GtkWidget* treeview;
extern GtkTreeStore* store;
extern GtkWidget* scrolled_win;

// Router and type of the row that last received the cursor; all bits set
// until then. Not reset by clearing or rebuilding the tree.
extern guint ip_cur_change_store;
extern guint type_cur_change_store;

// Builds the view, its columns, the store and the scrolled window.
void init_tree_2();
void setup_tree_view_2(GtkWidget* view);

// Places one record's router and type in the tree and counts it.
void add_to_tree(tagCommunicationData_* pData);
// The same for n records of one router and type at once.
void add_to_tree_n(guint ip, guint type, guint n);

// Index of the router row whose address is ip (row in iter_out), or -1.
int tree_find_ip_2(guint ip, GtkTreeIter* iter_out);
// Index of the child of iter_parent whose type is `type`, or -1.
int tree_find_type(guint type, GtkTreeIter* iter_parent, GtkTreeIter* iter_out);

// b_root 1: appends a router row for int_ip named ch_ip with count 0.
// b_root 0: counts pData under the router row iter_root.
void insert_one(GtkTreeIter* iter_root, gchar* ch_ip, guint int_ip, int b_root,
                tagCommunicationData_* pData);

// Removes all rows.
void RemoveAll_tree();

// Fills the tree from the whole table.
void sql_to_tree();

// After a deletion: empties the tree and fills it again.
void rebuild_tree();

// Signal handlers of the view.
void cursor_change(GtkTreeView* view, gpointer data);
gboolean click_tree(GtkWidget* widget, GdkEventButton* event, gpointer data);

// Titles and visible label column for a language (0 simplified, 1 English,
// 2 traditional).
void change_language_tree(unsigned lang);

// Listeners of the tree, for the panes above it (filter, e-mail, aliases,
// pop-up menus); app/ connects them at start-up. Each kind runs in the order
// it was added.
// After the cursor moved to a row (e-mail rows included).
void tree_on_selected(std::function<void(guint ip, guint type)> listener);
// After rebuild_tree filled the tree again from the table.
void tree_on_rebuilt(std::function<void()> listener);
// After a router row was appended (row is valid during the call).
void tree_on_router_row(std::function<void(GtkTreeIter* row, guint ip)> listener);
// A right-button press on the view; the press is consumed either way.
void tree_on_right_click(std::function<void(GdkEventButton* event)> listener);
