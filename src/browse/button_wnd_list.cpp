#include "browse/button_wnd_list.h"

#include "base/language.h"
#include "gui/main_window.h"
#include "gui/message_box.h"
#include "browse/list_data.h"
#include "browse/set_list_data.h"
#include "browse/tree2.h"
#include "gui/selection.h"
#include "storage/mysql_ctrl.h"
#include "storage/page_set.h"

#include <string>

GtkWidget* hbox_button_list = nullptr;
GtkWidget* button1_list = nullptr;
GtkWidget* button2_list = nullptr;
GtkWidget* button_sel_all_list = nullptr;
GtkWidget* button_reverse_all_list = nullptr;
GtkWidget* button_del_list = nullptr;
GtkWidget* button3_list = nullptr;

namespace {

// Clicks of the show/hide button; the filter pane is hidden while odd.
int b_open = 0;

constexpr const char* OTHER_IMAGE = "other-image";

struct labels3 {
    tr3 text;
};
constexpr labels3 PRE = {{"前一页", "pre", "前一頁"}};
constexpr labels3 NEXT = {{"后一页", "next", "后一頁"}};
constexpr labels3 SEL_ALL = {{"全选", "select all", "全選"}};
constexpr labels3 REVERSE = {{"反选", "reverse selcet", "反選"}};
constexpr labels3 DEL = {{"删除", "delete", "刪除"}};
constexpr labels3 SHOW = {{"展开", "show", "展開"}};
constexpr labels3 HIDE = {{"隐藏", "hide", "隱藏"}};

void label_show_hide(unsigned lang)
{
    gtk_button_set_label(GTK_BUTTON(button3_list), tr((b_open % 2 ? SHOW : HIDE).text, lang));
}

void relabel(unsigned lang)
{
    if (!hbox_button_list)
        return;
    gtk_button_set_label(GTK_BUTTON(button1_list), tr(PRE.text, lang));
    gtk_button_set_label(GTK_BUTTON(button2_list), tr(NEXT.text, lang));
    gtk_button_set_label(GTK_BUTTON(button_sel_all_list), tr(SEL_ALL.text, lang));
    gtk_button_set_label(GTK_BUTTON(button_reverse_all_list), tr(REVERSE.text, lang));
    gtk_button_set_label(GTK_BUTTON(button_del_list), tr(DEL.text, lang));
    label_show_hide(lang);
}

GtkWidget* labelled(const labels3& l, GCallback handler)
{
    GtkWidget* b = gtk_button_new_with_label(l.text.zh);
    g_signal_connect(b, "clicked", handler, nullptr);
    gtk_box_pack_start(GTK_BOX(hbox_button_list), b, TRUE, TRUE, 0);
    return b;
}

GtkTreeSelection* list_selection()
{
    return gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_list));
}

}  // namespace

void init_button_wnd_list()
{
    b_open = 0;
    hbox_button_list = gtk_hbox_new(TRUE, 0);
    button1_list = labelled(PRE, G_CALLBACK(button_pre_page));
    button2_list = labelled(NEXT, G_CALLBACK(button_next_page));
    gtk_button_set_image_position(GTK_BUTTON(button2_list), GTK_POS_RIGHT);
    button_sel_all_list = labelled(SEL_ALL, G_CALLBACK(button_sel_all));
    button_reverse_all_list = labelled(REVERSE, G_CALLBACK(button_reverse_all));
    button_del_list = labelled(DEL, G_CALLBACK(button_sig_del_list));

    button3_list = gtk_button_new_from_stock("my_stock_sample17");
    GtkStockItem item;
    if (!gtk_stock_lookup("my_stock_sample17", &item))
        gtk_button_set_label(GTK_BUTTON(button3_list), HIDE.text.zh);
    if (GtkWidget* own = gtk_button_get_image(GTK_BUTTON(button3_list))) {
        // Held as the button's own image, so that relabelling keeps it.
        g_object_ref(own);
        gtk_button_set_image(GTK_BUTTON(button3_list), own);
        g_object_set_data(G_OBJECT(own), "id", const_cast<char*>("No"));
        g_object_unref(own);
    }
    g_signal_connect(button3_list, "clicked", G_CALLBACK(show_hide_filter), nullptr);
    gtk_box_pack_start(GTK_BOX(hbox_button_list), button3_list, TRUE, TRUE, 0);

    gtk_widget_set_sensitive(button1_list, FALSE);
    gtk_widget_set_sensitive(button2_list, FALSE);
}

void set_list_button_images(GtkWidget* left, GtkWidget* right, GtkWidget* other)
{
    if (!hbox_button_list)
        return;
    if (left)
        gtk_button_set_image(GTK_BUTTON(button1_list), left);
    if (right)
        gtk_button_set_image(GTK_BUTTON(button2_list), right);
    if (other) {
        g_object_ref_sink(other);
        g_object_set_data_full(G_OBJECT(button3_list), OTHER_IMAGE, other, g_object_unref);
        if (GtkWidget* own = gtk_button_get_image(GTK_BUTTON(button3_list)))
            g_object_set_data(G_OBJECT(own), "id", const_cast<char*>("No"));
    }
}

void button_next_page(GtkWidget*, gpointer)
{
    std::string sql;
    sql_next_page(sql);
    if (sql_to_list_cmd(sql, nullptr) != 0)
        report_list_failure();
}

void button_pre_page(GtkWidget*, gpointer)
{
    std::string sql;
    sql_pre_page(sql);
    if (sql_to_list_cmd(sql, nullptr) != 0)
        report_list_failure();
}

void button_sel_all(GtkWidget*, gpointer) { gtk_tree_selection_select_all(list_selection()); }

void button_reverse_all(GtkWidget*, gpointer)
{
    reverse_selection(list_selection(), GTK_TREE_MODEL(store_list));
}

int del_list()
{
    GtkTreeSelection* sel = list_selection();
    for (;;) {
        GtkTreeModel* model = nullptr;
        GList* rows = gtk_tree_selection_get_selected_rows(sel, &model);
        if (!rows)
            return 0;
        GtkTreeIter it;
        bool got = gtk_tree_model_get_iter(model, &it, static_cast<GtkTreePath*>(rows->data));
        g_list_free_full(rows, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));
        if (!got)
            return 0;
        guint id = 0;
        gtk_tree_model_get(model, &it, LIST_COL_ID, &id, -1);
        // A row leaves the list only once it is gone from the table.
        if (exe_sql(time_limited(delete_one_statement(id), delete_time_limit_s).c_str()) != 0)
            return -1;
        gtk_list_store_remove(store_list, &it);
    }
}

void button_sig_del_list(GtkWidget*, gpointer)
{
    if (MessageBox_2("确认删除吗") == GTK_RESPONSE_CANCEL)
        return;
    if (del_list() != 0)
        report_delete_failure();
    // Counts are recomputed from the table, never decremented.
    rebuild_tree();
}

void show_hide_filter(GtkWidget* button, gpointer)
{
    GtkButton* b = GTK_BUTTON(button);
    GtkWidget* own = gtk_button_get_image(b);
    auto* other = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(button), OTHER_IMAGE));
    if (own)
        g_object_ref(own);
    if (other)
        g_object_ref(other);
    // The images change places: the one shown is kept for the next click.
    gtk_button_set_image(b, other);
    g_object_set_data_full(G_OBJECT(button), OTHER_IMAGE, own, own ? g_object_unref : nullptr);
    if (other)
        g_object_unref(other);

    ++b_open;
    if (hpaned_2_box) {
        if (b_open % 2)
            gtk_widget_hide(hpaned_2_box);
        else
            gtk_widget_show(hpaned_2_box);
    }
    label_show_hide(language_nu > 2 ? 0 : language_nu);
}

void set_lan_chinese_bt_list() { relabel(0); }
void set_lan_en_bt_list() { relabel(1); }
void set_lan_fanti_bt_list() { relabel(2); }
