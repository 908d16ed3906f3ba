#include "email/button_wnd_email.h"

#include "base/language.h"
#include "browse/tree2.h"
#include "email/email_attach_wnd.h"
#include "email/email_content.h"
#include "email/email_list.h"
#include "email/email_top_wnd.h"
#include "gui/message_box.h"
#include "gui/selection.h"

#include <string>
#include <vector>

GtkWidget* hbox_button_email = nullptr;
GtkWidget* button_pre_email = nullptr;
GtkWidget* button_next_email = nullptr;
GtkWidget* button_sel_all_email = nullptr;
GtkWidget* button_reverse_all_email = nullptr;
GtkWidget* button_del_email = nullptr;

namespace {

struct button_text {
    GtkWidget** button;
    tr3 text;
};

const button_text BUTTONS[] = {
    {&button_pre_email, {"前一页", "pre", "前一頁"}},
    {&button_next_email, {"后一页", "next", "后一頁"}},
    {&button_sel_all_email, {"全选", "select all", "全選"}},
    {&button_reverse_all_email, {"反选", "reverse selcet", "反選"}},
    {&button_del_email, {"删除", "delete", "刪除"}},
};

const tr3 DELETE_QUESTION = {"确认删除吗", "Delete the selected mails?", "確認刪除嗎"};
const tr3 DELETE_FAILED = {"有 %d 封邮件无法删除，仍留在列表中：%s",
                           "%d mail(s) could not be deleted and stay in the list: %s",
                           "有 %d 封郵件無法刪除，仍留在列表中：%s"};

GtkTreeSelection* title_selection()
{
    return gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_email_tile));
}

void relabel(unsigned lang)
{
    for (const button_text& b : BUTTONS)
        if (*b.button)
            gtk_button_set_label(GTK_BUTTON(*b.button), tr(b.text, lang));
}

}  // namespace

void init_button_wnd_email()
{
    hbox_button_email = gtk_hbox_new(TRUE, 0);
    void (*handlers[])(GtkWidget*, gpointer) = {pre_email_clicked, next_email_clicked,
                                                sel_all_email_clicked, reverse_all_email_clicked,
                                                del_email_clicked};
    int i = 0;
    for (const button_text& b : BUTTONS) {
        *b.button = gtk_button_new_with_label(b.text.zh);
        g_signal_connect(*b.button, "clicked", G_CALLBACK(handlers[i++]), nullptr);
        gtk_box_pack_start(GTK_BOX(hbox_button_email), *b.button, TRUE, TRUE, 0);
    }
    gtk_widget_set_sensitive(button_pre_email, FALSE);
    gtk_widget_set_sensitive(button_next_email, FALSE);
}

void pre_email_clicked(GtkWidget*, gpointer)
{
    if (current_pag_email <= 0)
        return;
    --current_pag_email;
    show_email_head_page(current_ip_save_email);
}

void next_email_clicked(GtkWidget*, gpointer)
{
    ++current_pag_email;
    show_email_head_page(current_ip_save_email);
}

void sel_all_email_clicked(GtkWidget*, gpointer)
{
    if (treeview_email_tile)
        gtk_tree_selection_select_all(title_selection());
}

void reverse_all_email_clicked(GtkWidget*, gpointer)
{
    if (!treeview_email_tile)
        return;
    reverse_selection(title_selection(), GTK_TREE_MODEL(store_email_title));
}

void del_email_clicked(GtkWidget*, gpointer)
{
    if (MessageBox_2(tr(DELETE_QUESTION)) == GTK_RESPONSE_CANCEL)
        return;
    del_email();
}

int del_email()
{
    if (!treeview_email_tile)
        return 0;
    GtkTreeModel* model = nullptr;
    GList* selected = gtk_tree_selection_get_selected_rows(title_selection(), &model);
    // References survive the removal of the rows before them.
    std::vector<GtkTreeRowReference*> refs;
    for (GList* l = selected; l; l = l->next)
        refs.push_back(gtk_tree_row_reference_new(model, static_cast<GtkTreePath*>(l->data)));
    g_list_free_full(selected, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));

    int removed = 0;
    int failed = 0;
    int first_error = 0;
    for (GtkTreeRowReference* ref : refs) {
        GtkTreePath* path = gtk_tree_row_reference_get_path(ref);
        GtkTreeIter it;
        if (path && gtk_tree_model_get_iter(model, &it, path)) {
            gchar* file = nullptr;
            gtk_tree_model_get(model, &it, EMAIL_COL_PATH, &file, -1);
            if (file && *file) {
                int error = 0;
                if (delete_email_file(file, &error) == 0) {
                    gtk_list_store_remove(store_email_title, &it);
                    ++removed;
                } else {
                    if (failed++ == 0)
                        first_error = error;
                }
            }
            g_free(file);
        }
        gtk_tree_path_free(path);
        gtk_tree_row_reference_free(ref);
    }

    if (removed > 0) {
        RemoveAll_list_email_attach();
        set_email_content("");
        rebuild_tree();
    }
    if (failed > 0) {
        gchar* text = g_strdup_printf(tr(DELETE_FAILED), failed, g_strerror(first_error));
        MessageBox_(text);
        g_free(text);
    }
    return removed;
}

void set_lan_chinese_bt_email() { relabel(0); }
void set_lan_en_bt_email() { relabel(1); }
void set_lan_fanti_bt_email() { relabel(2); }
