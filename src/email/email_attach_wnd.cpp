#include "email/email_attach_wnd.h"

#include "base/language.h"
#include "email/email_content.h"
#include "email/email_decode.h"
#include "email/email_top_wnd.h"
#include "email/menu_popup_email_attach.h"

#include <cstring>
#include <vector>

GtkListStore* store_email_attach = nullptr;
GtkWidget* treeview_email_attach = nullptr;
GtkWidget* scrolled_email_attach = nullptr;

namespace {

GtkTreeViewColumn* attach_column = nullptr;
const tr3 ATTACH_TITLE = {"附件", "attach", "附件"};

// Height of the list, which does not grow with the pane.
constexpr int ATTACH_LIST_HEIGHT = 90;

bool attachment_selected()
{
    if (!treeview_email_attach)
        return false;
    GtkTreeSelection* sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_email_attach));
    return gtk_tree_selection_get_selected(sel, nullptr, nullptr);
}

}  // namespace

void init_email_attach_wnd()
{
    store_email_attach = gtk_list_store_new(2, G_TYPE_STRING, G_TYPE_STRING);
    treeview_email_attach = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store_email_attach));
    g_object_unref(store_email_attach);  // the view owns it
    GtkCellRenderer* cell = gtk_cell_renderer_text_new();
    attach_column =
        gtk_tree_view_column_new_with_attributes(ATTACH_TITLE.zh, cell, "text", 0, nullptr);
    gtk_tree_view_append_column(GTK_TREE_VIEW(treeview_email_attach), attach_column);
    gtk_tree_selection_set_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_email_attach)),
                                GTK_SELECTION_SINGLE);
    g_signal_connect(treeview_email_attach, "button-press-event", G_CALLBACK(click_tree_attach),
                     GINT_TO_POINTER(1));

    scrolled_email_attach = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled_email_attach), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_widget_set_size_request(scrolled_email_attach, -1, ATTACH_LIST_HEIGHT);
    gtk_container_add(GTK_CONTAINER(scrolled_email_attach), treeview_email_attach);
}

void RemoveAll_list_email_attach()
{
    if (store_email_attach)
        gtk_list_store_clear(store_email_attach);
}

void add_one_row_email_attach(const gchar* pname, GtkTreeIter* pIter)
{
    if (!store_email_attach)
        return;
    GtkTreeIter it;
    gtk_list_store_append(store_email_attach, &it);
    gtk_list_store_set(store_email_attach, &it, 0, pname ? pname : "", -1);
    if (pIter)
        *pIter = it;
}

void cursor_change_email_tile(GtkTreeView*, gpointer)
{
    std::string relative;
    if (GetCurSel_EmailName(relative) != 0)
        return;
    gchar* cwd = g_get_current_dir();
    std::string full = std::string(cwd) + "/" + relative;
    g_free(cwd);

    std::vector<char> body(email_content_size, '\0');
    bool open = open_email(full.c_str()) == 0;
    if (open)
        GetContent_text(body.data());
    set_email_content(body.data());

    RemoveAll_list_email_attach();
    if (open) {
        char name[email_attach_name_size];
        for (long pos = GetAttachment(name, 0); pos >= 0; pos = GetAttachment(name, pos))
            add_one_row_email_attach(name, nullptr);
    }
    close_file_email();
}

int get_sel_attache_name(std::string& out)
{
    out.clear();
    if (!treeview_email_attach)
        return -1;
    GtkTreeModel* model = nullptr;
    GtkTreeIter it;
    GtkTreeSelection* sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_email_attach));
    if (!gtk_tree_selection_get_selected(sel, &model, &it))
        return -1;
    gchar* name = nullptr;
    gtk_tree_model_get(model, &it, 0, &name, -1);
    if (!name)
        return -1;
    out = name;
    g_free(name);
    return 0;
}

gboolean click_tree_attach(GtkWidget*, GdkEventButton* event, gpointer user_data)
{
    if (event->type == GDK_BUTTON_PRESS && event->button == 3) {
        if (!attachment_selected() || !menu_email_attach)
            return FALSE;
        gtk_menu_popup(GTK_MENU(menu_email_attach), nullptr, nullptr, nullptr, nullptr,
                       event->button, event->time);
        return TRUE;
    }
    if (event->type == GDK_2BUTTON_PRESS && event->button == 1 && GPOINTER_TO_INT(user_data) == 1)
        export_email_attach(1);
    return FALSE;
}

int export_email_attach(int mode)
{
    std::string wanted;
    std::string mail;
    if (get_sel_attache_name(wanted) != 0 || GetCurSel_EmailName(mail) != 0)
        return -1;
    if (open_email(mail.c_str()) != 0)
        return -1;
    int result = -1;
    char name[email_attach_name_size];
    for (long pos = GetAttachment(name, 0); pos >= 0; pos = GetAttachment(name, pos)) {
        if (wanted == name) {
            // The first attachment of that name.
            result = attach_to_file(name, pos, mode);
            break;
        }
    }
    close_file_email();
    return result;
}

void change_language_email_attach_column(unsigned lang)
{
    if (attach_column && lang <= 2)
        gtk_tree_view_column_set_title(attach_column, tr(ATTACH_TITLE, lang));
}
