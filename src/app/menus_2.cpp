#include "app/menus_2.h"

#include "app/language_switch.h"

GtkWidget* menubar_2 = nullptr;

namespace {

void add_item(GtkWidget* menu, const char* stock_id, GCallback action)
{
    GtkWidget* item = gtk_image_menu_item_new_from_stock(stock_id, nullptr);
    g_signal_connect(item, "activate", action, nullptr);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
}

}  // namespace

void CreateMenus_2()
{
    menubar_2 = gtk_menu_bar_new();
    GtkWidget* top = gtk_image_menu_item_new_from_stock("my_stock_sample9", nullptr);
    GtkWidget* menu = gtk_menu_new();
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(menubar_2), top);
    add_item(menu, "my_stock_lan_chinese_y", G_CALLBACK(change_chinese));
    add_item(menu, "my_stock_lan_en_y", G_CALLBACK(change_englist));
    add_item(menu, "my_stock_lan_fanti_y", G_CALLBACK(change_fanti));
}
