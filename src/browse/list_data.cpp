#include "browse/list_data.h"

#include "base/language.h"

#include "browse/menu_reverse_source_ip.h"
#include "storage/page_set.h"

GtkWidget* treeview_list = nullptr;
GtkListStore* store_list = nullptr;
GtkWidget* scrolled_TreeView = nullptr;
guint select_id_list = static_cast<guint>(-1);

namespace {

constexpr int VIEW_COLS = 12;
GtkTreeViewColumn* list_columns[VIEW_COLS];

struct view_column {
    const char* title;
    int store_col;
    bool sizes_itself;
};

// Built in simplified Chinese.
constexpr view_column VIEW[VIEW_COLS] = {
    {"序号", LIST_COL_NUMBER, false},       {"日志类型", LIST_COL_TYPE_CN, false},
    {"type", LIST_COL_TYPE_EN, false},      {"日誌類型", LIST_COL_TYPE_TW, false},
    {"日志用户", LIST_COL_USER, false},     {"记录内容", LIST_COL_CONTENT_CN, true},
    {"log msg", LIST_COL_CONTENT_EN, true}, {"記錄類容", LIST_COL_CONTENT_TW, true},
    {"记录时间", LIST_COL_TIME, false},     {"源ip", LIST_COL_SOURCE, false},
    {"路由器ip", LIST_COL_ROUTER, false},   {"备注", LIST_COL_NOTE, false},
};

}  // namespace

void setup_tree_view_column(GtkWidget* view)
{
    for (int i = 0; i < VIEW_COLS; ++i) {
        GtkCellRenderer* cell = gtk_cell_renderer_text_new();
        GtkTreeViewColumn* col = gtk_tree_view_column_new_with_attributes(
            VIEW[i].title, cell, "text", VIEW[i].store_col, nullptr);
        if (VIEW[i].sizes_itself)
            gtk_tree_view_column_set_sizing(col, GTK_TREE_VIEW_COLUMN_AUTOSIZE);
        gtk_tree_view_append_column(GTK_TREE_VIEW(view), col);
        list_columns[i] = col;
    }
    for (int i : {2, 3, 6, 7})
        gtk_tree_view_column_set_visible(list_columns[i], FALSE);
}

void InitStore()
{
    GType types[LIST_N_COLS];
    for (auto& t : types)
        t = G_TYPE_STRING;
    types[LIST_COL_NUMBER] = G_TYPE_UINT;
    types[LIST_COL_ID] = G_TYPE_UINT;
    store_list = gtk_list_store_newv(LIST_N_COLS, types);
    gtk_tree_view_set_model(GTK_TREE_VIEW(treeview_list), GTK_TREE_MODEL(store_list));
    g_object_unref(store_list);  // the view owns it
}

void InitTreeView()
{
    // First, so the reversed-source list is loaded before any row is shown.
    init_popup_menu_reverse();
    scrolled_TreeView = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled_TreeView), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    treeview_list = gtk_tree_view_new();
    GtkTreeSelection* sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_list));
    gtk_tree_selection_set_mode(sel, GTK_SELECTION_MULTIPLE);
    gtk_tree_view_set_rubber_banding(GTK_TREE_VIEW(treeview_list), TRUE);
    setup_tree_view_column(treeview_list);
    InitStore();
    gtk_scrolled_window_add_with_viewport(GTK_SCROLLED_WINDOW(scrolled_TreeView), treeview_list);
    GdkColor base;
    if (gdk_color_parse("#e2eee8", &base))
        gtk_widget_modify_base(treeview_list, GTK_STATE_NORMAL, &base);
    select_id_list = static_cast<guint>(-1);

    g_signal_connect(treeview_list, "button-press-event", G_CALLBACK(click_tree_list), nullptr);
    g_signal_connect(treeview_list, "cursor-changed", G_CALLBACK(cursor_change_list), nullptr);
}

void add_one_row(guint pFirstData, GtkTreeIter* pIter)
{
    gtk_list_store_append(store_list, pIter);
    gtk_list_store_set(store_list, pIter, LIST_COL_NUMBER, pFirstData, -1);
}

void modify_one_row(GtkTreeIter* pIter, const char* pData, int index)
{
    gtk_list_store_set(store_list, pIter, index, pData, -1);
}

void modify_one_row_num(GtkTreeIter* pIter, guint data, int index)
{
    gtk_list_store_set(store_list, pIter, index, data, -1);
}

void RemoveAll()
{
    if (store_list)
        gtk_list_store_clear(store_list);
    index_list = 0;
}

void cursor_change_list(GtkTreeView* view, gpointer)
{
    select_id_list = static_cast<guint>(-1);
    GtkTreeModel* model = nullptr;
    GList* rows = gtk_tree_selection_get_selected_rows(gtk_tree_view_get_selection(view), &model);
    GtkTreeIter it;
    if (rows && gtk_tree_model_get_iter(model, &it, static_cast<GtkTreePath*>(rows->data)))
        gtk_tree_model_get(model, &it, LIST_COL_ID, &select_id_list, -1);
    g_list_free_full(rows, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));
}

gboolean click_tree_list(GtkWidget*, GdkEventButton* event, gpointer)
{
    if (event->type == GDK_BUTTON_PRESS && event->button == 3) {
        // Consumed, so the cursor stays where it was: the menu acts on the
        // record that holds it.
        menu_popup_reverse_at(event);
        return TRUE;
    }
    return FALSE;
}

void change_language_list(unsigned lang)
{
    struct titled {
        int view_col;
        tr3 text;
    };
    static const titled TITLES[] = {
        {0, {"序号", "Number", "序號"}},    {4, {"日志用户", "user", "日誌用戶"}},
        {11, {"备注", "comment", "備註"}},  {10, {"路由器ip", "router ip", "路由器ip"}},
        {9, {"源ip", "source ip", "源ip"}}, {8, {"记录时间", "log time", "記錄時間"}},
    };
    if (lang > 2 || !list_columns[0])
        return;
    for (const auto& t : TITLES)
        gtk_tree_view_column_set_title(list_columns[t.view_col], tr(t.text, lang));
    for (unsigned i = 0; i < 3; ++i) {
        gtk_tree_view_column_set_visible(list_columns[1 + i], lang == i);
        gtk_tree_view_column_set_visible(list_columns[5 + i], lang == i);
    }
}
