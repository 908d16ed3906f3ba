#include "browse/popup_menu.h"

#include "base/language.h"
#include "base/record.h"
#include "browse/rename.h"
#include "browse/set_list_data.h"
#include "browse/tree2.h"
#include "gui/message_box.h"
#include "storage/tree_delete.h"

#include <vector>

GtkWidget* menu_popup = nullptr;
GtkWidget* popup_del = nullptr;
GtkWidget* separator = nullptr;
GtkWidget* popup_change_name = nullptr;

namespace {

constexpr guint NONE = static_cast<guint>(-1);

std::vector<std::function<void(guint)>> mails_deleted_listeners;

const tr3 DEL_TEXT = {"删除当前项所有数据", "delete all the item in the selected",
                      "刪除當前項所有數據"};
const tr3 RENAME_TEXT = {"设置别名", "rename", "設置別名"};

void relabel(unsigned lang)
{
    auto pick = [lang](const tr3& t) { return lang == 1 ? t.en : lang == 2 ? t.tw : t.zh; };
    if (popup_del)
        gtk_menu_item_set_label(GTK_MENU_ITEM(popup_del), pick(DEL_TEXT));
    if (popup_change_name)
        gtk_menu_item_set_label(GTK_MENU_ITEM(popup_change_name), pick(RENAME_TEXT));
}

void tell_mails_deleted(guint ip)
{
    for (auto& listener : mails_deleted_listeners)
        listener(ip);
}

}  // namespace

GtkWidget* create_popup_menu()
{
    GtkWidget* menu = gtk_menu_new();
    popup_del = gtk_menu_item_new_with_label(DEL_TEXT.zh);
    separator = gtk_separator_menu_item_new();
    popup_change_name = gtk_menu_item_new_with_label(RENAME_TEXT.zh);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), popup_del);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), separator);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), popup_change_name);
    g_signal_connect(popup_del, "activate", G_CALLBACK(del_activated), nullptr);
    g_signal_connect(popup_change_name, "activate", G_CALLBACK(change_name_activated), nullptr);
    gtk_widget_show_all(menu);
    return menu;
}

void init_popup_menu()
{
    menu_popup = create_popup_menu();
    change_chinese_popup_menu();
}

void popup_menu_on_right_click(GdkEventButton* event)
{
    if (!menu_popup)
        return;
    if (type_cur_change_store == LOG_TYPE_ROUTER)
        gtk_widget_show(popup_change_name);
    else
        gtk_widget_hide(popup_change_name);
    gtk_menu_popup(GTK_MENU(menu_popup), nullptr, nullptr, nullptr, nullptr,
                   event ? event->button : 0, event ? event->time : gtk_get_current_event_time());
}

void delete_current_tree_item()
{
    guint ip = ip_cur_change_store;
    guint type = type_cur_change_store;
    if (ip == NONE)
        return;
    if (MessageBox_2(tr({"确实要删除吗", "Are you sure to delete?", "確實要刪除嗎"})) ==
        GTK_RESPONSE_CANCEL)
        return;
    if (type == LOG_TYPE_EMAIL) {
        del_email_by_ip(ip);
        return;
    }
    // The records first: when they cannot go, nothing goes and the tree stays.
    if (delete_tree_item_records(ip, type) != 0) {
        report_delete_failure();
        return;
    }
    if (type == LOG_TYPE_ROUTER)
        delete_router_mails(ip);
    rebuild_tree();
    if (type == LOG_TYPE_ROUTER)
        tell_mails_deleted(ip);
}

void del_activated(GtkMenuItem*, gpointer) { delete_current_tree_item(); }

void change_name_activated(GtkMenuItem*, gpointer) { create_rename_wnd(ip_cur_change_store); }

void del_email_by_ip(guint ip)
{
    delete_router_mails(ip);
    rebuild_tree();
    tell_mails_deleted(ip);
}

void popup_on_mails_deleted(std::function<void(guint)> listener)
{
    mails_deleted_listeners.push_back(std::move(listener));
}

void change_chinese_popup_menu() { relabel(0); }
void change_en_popup_menu() { relabel(1); }
void change_fanti_popup_menu() { relabel(2); }
