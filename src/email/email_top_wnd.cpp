#include "email/email_top_wnd.h"

#include "base/language.h"
#include "base/record.h"
#include "companion/extern.h"
#include "email/button_wnd_email.h"
#include "email/email_attach_wnd.h"
#include "email/email_content.h"
#include "email/email_list.h"
#include "gui/main_window.h"

GtkWidget* vbox_top_email = nullptr;
GtkWidget* scrolled_email_title = nullptr;
GtkWidget* treeview_email_tile = nullptr;
GtkListStore* store_email_title = nullptr;
int current_pag_email = 0;
guint current_ip_save_email = 0;

namespace {

// View columns: number, sender, subject, time, recipients.
constexpr int VIEW_COLS = 5;
GtkTreeViewColumn* title_columns[VIEW_COLS];

const tr3 COLUMN_TITLES[VIEW_COLS] = {
    {"序号", "Number", "序號"}, {"发件人", "sender", "發件人"}, {"标题", "Subject", "標題"},
    {"时间", "time", "時間"},   {"收件人", "recv", "收件人"},
};

// width_chars > 0: the text is cut with an ellipsis at about that many
// characters, so a long subject does not push the other columns away; the
// column can be widened by hand.
GtkTreeViewColumn* text_column(const char* title, int model_col, int width_chars)
{
    GtkCellRenderer* cell = gtk_cell_renderer_text_new();
    if (width_chars > 0)
        g_object_set(cell, "ellipsize", PANGO_ELLIPSIZE_END, "width-chars", width_chars, nullptr);
    GtkTreeViewColumn* col =
        gtk_tree_view_column_new_with_attributes(title, cell, "text", model_col, nullptr);
    gtk_tree_view_column_set_resizable(col, TRUE);
    gtk_tree_view_append_column(GTK_TREE_VIEW(treeview_email_tile), col);
    return col;
}

void build_header_list()
{
    store_email_title =
        gtk_list_store_new(EMAIL_N_COLS, G_TYPE_UINT, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                           G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING);
    treeview_email_tile = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store_email_title));
    g_object_unref(store_email_title);  // the view owns it
    const int model_cols[VIEW_COLS] = {EMAIL_COL_NUMBER, EMAIL_COL_SENDER, EMAIL_COL_SUBJECT,
                                       EMAIL_COL_TIME, EMAIL_COL_RECIPIENTS};
    const int width_chars[VIEW_COLS] = {0, 28, 40, 0, 28};
    for (int i = 0; i < VIEW_COLS; ++i)
        title_columns[i] = text_column(COLUMN_TITLES[i].zh, model_cols[i], width_chars[i]);
    GtkTreeSelection* sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_email_tile));
    gtk_tree_selection_set_mode(sel, GTK_SELECTION_MULTIPLE);
    gtk_tree_view_set_rubber_banding(GTK_TREE_VIEW(treeview_email_tile), TRUE);
    g_signal_connect(treeview_email_tile, "cursor-changed", G_CALLBACK(cursor_change_email_tile),
                     nullptr);
    g_signal_connect(treeview_email_tile, "button-press-event", G_CALLBACK(click_tree_title),
                     nullptr);

    scrolled_email_title = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled_email_title), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(scrolled_email_title), treeview_email_tile);
}

void list_page(guint ip, int page)
{
    RemoveAll_email_title();
    email_page p = read_email_page(ip, page);
    if (button_pre_email)
        gtk_widget_set_sensitive(button_pre_email, p.found && p.has_prev);
    if (button_next_email)
        gtk_widget_set_sensitive(button_next_email, p.found && p.has_next);
    for (const email_row& row : p.rows) {
        GtkTreeIter it;
        gtk_list_store_append(store_email_title, &it);
        gtk_list_store_set(store_email_title, &it, EMAIL_COL_NUMBER, row.number, EMAIL_COL_SENDER,
                           row.sender.c_str(), EMAIL_COL_SUBJECT, row.subject.c_str(),
                           EMAIL_COL_TIME, row.time.c_str(), EMAIL_COL_PATH, row.path.c_str(),
                           EMAIL_COL_RECIPIENTS, row.recipients.c_str(), -1);
    }
}

}  // namespace

void init_email_top_wnd()
{
    if (!scrolled_email_attach)
        init_email_attach_wnd();
    build_header_list();
    init_email_content_wnd();
    init_button_wnd_email();

    vbox_top_email = gtk_vbox_new(FALSE, 2);
    gtk_box_pack_start(GTK_BOX(vbox_top_email), scrolled_email_title, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(vbox_top_email), hbox_button_email, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(vbox_top_email), scrolled_email_attach, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(vbox_top_email), scrolled_email_content, TRUE, TRUE, 0);
}

void show_email_top()
{
    if (vbox_top_email)
        gtk_widget_show_all(vbox_top_email);
    if (vpaned_3)
        gtk_widget_hide(vpaned_3);
}

void hide_email_top()
{
    if (vbox_top_email)
        gtk_widget_hide(vbox_top_email);
    if (vpaned_3)
        gtk_widget_show(vpaned_3);
}

void show_email_head(guint ip)
{
    current_pag_email = 0;
    current_ip_save_email = ip;
    list_page(ip, 0);
}

void show_email_head_page(guint ip) { list_page(ip, current_pag_email); }

void RemoveAll_email_title()
{
    if (store_email_title)
        gtk_list_store_clear(store_email_title);
}

int GetCurSel_EmailName(std::string& out)
{
    out.clear();
    if (!treeview_email_tile)
        return -1;
    GtkTreeModel* model = nullptr;
    GtkTreeSelection* sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_email_tile));
    GList* rows = gtk_tree_selection_get_selected_rows(sel, &model);
    int result = -1;
    GtkTreeIter it;
    if (rows && gtk_tree_model_get_iter(model, &it, static_cast<GtkTreePath*>(rows->data))) {
        gchar* path = nullptr;
        gtk_tree_model_get(model, &it, EMAIL_COL_PATH, &path, -1);
        if (path) {
            out = path;
            result = 0;
        }
        g_free(path);
    }
    g_list_free_full(rows, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));
    return result;
}

gboolean click_tree_title(GtkWidget*, GdkEventButton* event, gpointer)
{
    if (event->type == GDK_2BUTTON_PRESS && event->button == 1) {
        std::string path;
        if (GetCurSel_EmailName(path) == 0)
            open_mail_file(path.c_str());
    }
    return FALSE;
}

void change_language_email_columns(unsigned lang)
{
    if (lang > 2)
        return;
    for (int i = 0; i < VIEW_COLS; ++i)
        if (title_columns[i])
            gtk_tree_view_column_set_title(title_columns[i], tr(COLUMN_TITLES[i], lang));
    change_language_email_attach_column(lang);
}

void email_on_tree_selected(guint ip, guint type)
{
    if (type != LOG_TYPE_EMAIL) {
        hide_email_top();
        return;
    }
    show_email_top();
    show_email_head(ip);
    RemoveAll_list_email_attach();
    set_email_content("");
}

void email_on_mails_deleted(guint ip)
{
    if (ip != current_ip_save_email)
        return;
    RemoveAll_email_title();
    RemoveAll_list_email_attach();
    set_email_content("");
    if (button_pre_email)
        gtk_widget_set_sensitive(button_pre_email, FALSE);
    if (button_next_email)
        gtk_widget_set_sensitive(button_next_email, FALSE);
}
