#include "browse/tree2.h"

#include "base/language.h"
#include "base/other_func.h"
#include "browse/list_data.h"
#include "browse/popup_menu.h"
#include "browse/set_list_data.h"
#include "base/log_types.h"
#include "storage/page_set.h"

#include <string>
#include <vector>

GtkWidget* treeview = nullptr;
GtkTreeStore* store = nullptr;
GtkWidget* scrolled_win = nullptr;
guint ip_cur_change_store = static_cast<guint>(-1);
guint type_cur_change_store = static_cast<guint>(-1);

namespace {

GtkTreeViewColumn* tree_columns[5];

std::vector<std::function<void(guint, guint)>> selected_listeners;
std::vector<std::function<void()>> rebuilt_listeners;
std::vector<std::function<void(GtkTreeIter*, guint)>> router_row_listeners;
std::vector<std::function<void(GdkEventButton*)>> right_click_listeners;

// Addresses of the router rows in row order, so that finding a router does
// not read every row of the store for every received record.
std::vector<guint> router_ips;

guint row_uint(GtkTreeIter* iter, int col)
{
    guint v = 0;
    gtk_tree_model_get(GTK_TREE_MODEL(store), iter, col, &v, -1);
    return v;
}

void resync_router_ips()
{
    router_ips.clear();
    GtkTreeIter it;
    GtkTreeModel* model = GTK_TREE_MODEL(store);
    for (gboolean ok = gtk_tree_model_get_iter_first(model, &it); ok;
         ok = gtk_tree_model_iter_next(model, &it))
        router_ips.push_back(row_uint(&it, TREE_COL_IP));
}

int find_cached(guint ip)
{
    for (std::size_t i = 0; i < router_ips.size(); ++i)
        if (router_ips[i] == ip)
            return static_cast<int>(i);
    return -1;
}

// Counts n records of `type` under the router row `router`.
void count_under(GtkTreeIter* router, guint ip, guint type, guint n)
{
    gtk_tree_store_set(store, router, TREE_COL_COUNT, row_uint(router, TREE_COL_COUNT) + n, -1);
    GtkTreeIter child;
    if (tree_find_type(type, router, &child) >= 0) {
        gtk_tree_store_set(store, &child, TREE_COL_COUNT, row_uint(&child, TREE_COL_COUNT) + n, -1);
        return;
    }
    std::string labels[3];
    for (unsigned lang = 0; lang < 3; ++lang)
        labels[lang] = tree_type_label(type, lang);
    gtk_tree_store_append(store, &child, router);
    gtk_tree_store_set(store, &child, TREE_COL_LABEL_CN, labels[0].c_str(), TREE_COL_COUNT, n,
                       TREE_COL_IP, ip, TREE_COL_TYPE, type, TREE_COL_LABEL_EN, labels[1].c_str(),
                       TREE_COL_LABEL_TW, labels[2].c_str(), -1);
}

// Finds or creates the router row of ip and counts n records of `type`.
void add_counted(guint ip, guint type, guint n)
{
    GtkTreeIter router;
    if (tree_find_ip_2(ip, &router) < 0) {
        char name[16];
        convert_ip_2_r(ip, name, sizeof name);
        insert_one(nullptr, name, ip, 1, nullptr);
        if (tree_find_ip_2(ip, &router) < 0)
            return;
    }
    count_under(&router, ip, type, n);
}

GtkTreeViewColumn* text_column(GtkWidget* view, const char* title, int model_col)
{
    GtkCellRenderer* cell = gtk_cell_renderer_text_new();
    GtkTreeViewColumn* col =
        gtk_tree_view_column_new_with_attributes(title, cell, "text", model_col, nullptr);
    gtk_tree_view_append_column(GTK_TREE_VIEW(view), col);
    return col;
}

}  // namespace

void setup_tree_view_2(GtkWidget* view)
{
    tree_columns[0] = text_column(view, "日志服务器", TREE_COL_NAME);
    tree_columns[1] = text_column(view, "类型", TREE_COL_LABEL_CN);
    tree_columns[2] = text_column(view, "type", TREE_COL_LABEL_EN);
    tree_columns[3] = text_column(view, "類型", TREE_COL_LABEL_TW);
    // The unsigned count is shown through GLib's number-to-text conversion.
    tree_columns[4] = text_column(view, "数量", TREE_COL_COUNT);
    gtk_tree_view_column_set_visible(tree_columns[2], FALSE);
    gtk_tree_view_column_set_visible(tree_columns[3], FALSE);
}

void init_tree_2()
{
    init_popup_menu();
    treeview = gtk_tree_view_new();
    setup_tree_view_2(treeview);
    store = gtk_tree_store_new(TREE_N_COLS, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_UINT, G_TYPE_UINT,
                               G_TYPE_UINT, G_TYPE_STRING, G_TYPE_STRING);
    gtk_tree_view_set_model(GTK_TREE_VIEW(treeview), GTK_TREE_MODEL(store));
    g_object_unref(store);  // the view owns it
    router_ips.clear();
    ip_cur_change_store = static_cast<guint>(-1);
    type_cur_change_store = static_cast<guint>(-1);

    scrolled_win = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled_win), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(scrolled_win), treeview);
    GdkColor base;
    if (gdk_color_parse("#ebf4fa", &base))
        gtk_widget_modify_base(treeview, GTK_STATE_NORMAL, &base);

    g_signal_connect(treeview, "button-press-event", G_CALLBACK(click_tree), nullptr);
    g_signal_connect(treeview, "cursor-changed", G_CALLBACK(cursor_change), nullptr);
}

int tree_find_ip_2(guint ip, GtkTreeIter* iter_out)
{
    GtkTreeModel* model = GTK_TREE_MODEL(store);
    if (router_ips.size() !=
        static_cast<std::size_t>(gtk_tree_model_iter_n_children(model, nullptr)))
        resync_router_ips();
    int index = find_cached(ip);
    if (index < 0)
        return -1;
    if (gtk_tree_model_iter_nth_child(model, iter_out, nullptr, index) &&
        row_uint(iter_out, TREE_COL_IP) == ip)
        return index;
    // The rows changed behind the cache: read them again.
    resync_router_ips();
    index = find_cached(ip);
    if (index >= 0 && gtk_tree_model_iter_nth_child(model, iter_out, nullptr, index))
        return index;
    return -1;
}

int tree_find_type(guint type, GtkTreeIter* iter_parent, GtkTreeIter* iter_out)
{
    GtkTreeModel* model = GTK_TREE_MODEL(store);
    int index = 0;
    for (gboolean ok = gtk_tree_model_iter_children(model, iter_out, iter_parent); ok;
         ok = gtk_tree_model_iter_next(model, iter_out), ++index)
        if (row_uint(iter_out, TREE_COL_TYPE) == type)
            return index;
    return -1;
}

void insert_one(GtkTreeIter* iter_root, gchar* ch_ip, guint int_ip, int b_root,
                tagCommunicationData_* pData)
{
    if (b_root) {
        GtkTreeIter row;
        gtk_tree_store_append(store, &row, nullptr);
        gtk_tree_store_set(store, &row, TREE_COL_NAME, ch_ip, TREE_COL_COUNT, 0u, TREE_COL_IP,
                           int_ip, TREE_COL_TYPE, static_cast<guint>(LOG_TYPE_ROUTER), -1);
        if (router_ips.size() + 1 ==
            static_cast<std::size_t>(
                gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr)))
            router_ips.push_back(int_ip);
        for (auto& listener : router_row_listeners)
            listener(&row, int_ip);
        return;
    }
    if (iter_root && pData)
        count_under(iter_root, int_ip, pData->msg.impMsg.dwLogType, 1);
}

void add_to_tree(tagCommunicationData_* pData)
{
    if (!pData || !store)
        return;
    add_counted(pData->dwIP, pData->msg.impMsg.dwLogType, 1);
}

void add_to_tree_n(guint ip, guint type, guint n)
{
    if (store && n > 0)
        add_counted(ip, type, n);
}

void RemoveAll_tree()
{
    if (store)
        gtk_tree_store_clear(store);
    router_ips.clear();
}

void sql_to_tree()
{
    std::vector<tree_group> groups;
    if (!store || read_tree_groups(groups) != 0)
        return;
    for (const auto& g : groups)
        add_counted(g.ip, g.type, g.count);
}

void rebuild_tree()
{
    RemoveAll_tree();
    sql_to_tree();
    for (auto& listener : rebuilt_listeners)
        listener();
}

void cursor_change(GtkTreeView* view, gpointer)
{
    select_id_list = static_cast<guint>(-1);
    // The filter window's delete and export buttons become insensitive here
    // once that window exists.
    GtkTreeModel* model = nullptr;
    GtkTreeIter it;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), &model, &it))
        return;
    guint ip = 0, type = 0;
    gtk_tree_model_get(model, &it, TREE_COL_IP, &ip, TREE_COL_TYPE, &type, -1);
    ip_cur_change_store = ip;
    type_cur_change_store = type;
    // An e-mail row keeps the record list as it was; its pane is a listener's.
    if (type != LOG_TYPE_EMAIL)
        sql_to_list(ip, type);
    for (auto& listener : selected_listeners)
        listener(ip, type);
}

gboolean click_tree(GtkWidget* widget, GdkEventButton* event, gpointer)
{
    if (event->type == GDK_BUTTON_PRESS && event->button == 3) {
        // Consumed either way, so a right click never moves the cursor.
        for (auto& listener : right_click_listeners)
            listener(event);
        return TRUE;
    }
    if (event->type == GDK_2BUTTON_PRESS && event->button == 1) {
        GtkTreeModel* model = nullptr;
        GtkTreeIter it;
        GtkTreeView* view = GTK_TREE_VIEW(widget);
        if (gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), &model, &it)) {
            GtkTreePath* path = gtk_tree_model_get_path(model, &it);
            gtk_tree_view_expand_row(view, path, TRUE);
            gtk_tree_path_free(path);
        }
    }
    return FALSE;
}

void change_language_tree(unsigned lang)
{
    static constexpr tr3 ROUTER {"日志服务器", "router", "日誌服務器"};
    static constexpr tr3 COUNTER {"数量", "counter", "數量"};
    if (lang > 2 || !tree_columns[0])
        return;
    gtk_tree_view_column_set_title(tree_columns[0], tr(ROUTER, lang));
    gtk_tree_view_column_set_title(tree_columns[4], tr(COUNTER, lang));
    for (unsigned i = 0; i < 3; ++i)
        gtk_tree_view_column_set_visible(tree_columns[1 + i], lang == i);
}

void tree_on_selected(std::function<void(guint, guint)> listener)
{
    selected_listeners.push_back(std::move(listener));
}

void tree_on_rebuilt(std::function<void()> listener)
{
    rebuilt_listeners.push_back(std::move(listener));
}

void tree_on_router_row(std::function<void(GtkTreeIter*, guint)> listener)
{
    router_row_listeners.push_back(std::move(listener));
}

void tree_on_right_click(std::function<void(GdkEventButton*)> listener)
{
    right_click_listeners.push_back(std::move(listener));
}
