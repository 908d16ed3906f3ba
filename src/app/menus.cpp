#include "app/menus.h"

#include "base/copy.h"
#include "base/language.h"
#include "app/language_switch.h"
#include "app/main.h"
#include "app/toolbar.h"
#include "app/version.h"
#include "app/udp_switch.h"
#include "settings/setup_wnd_popup.h"

#include <string>
#include <vector>

GtkWidget* menubar = nullptr;

namespace {

struct texts {
    tr3 text;
};

struct labelled_item {
    GtkWidget* item;
    texts label;
};

// Every item that follows the language, in menu order.
std::vector<labelled_item> labelled;

GtkWidget* stock_item(const char* stock_id)
{
    return gtk_image_menu_item_new_from_stock(stock_id, nullptr);
}

// A top-level item with its sub-menu.
GtkWidget* add_top(const char* stock_id, texts label)
{
    GtkWidget* top = stock_item(stock_id);
    GtkWidget* menu = gtk_menu_new();
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(menubar), top);
    labelled.push_back({top, label});
    return menu;
}

GtkWidget* add_item(GtkWidget* menu, const char* stock_id, GCallback action)
{
    GtkWidget* item = stock_item(stock_id);
    g_signal_connect(item, "activate", action, nullptr);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    return item;
}

void add_labelled(GtkWidget* menu, const char* stock_id, texts label, GCallback action)
{
    labelled.push_back({add_item(menu, stock_id, action), label});
}

void setup_activate(GtkMenuItem*, gpointer) { create_setup_pop(); }

void system_menu()
{
    GtkWidget* menu = add_top("my_stock_setup3", {{"系统", "system", "系統"}});
    add_labelled(menu, "my_stock_setup3", {{"系统设置", "system setup", "系統設置"}},
                 G_CALLBACK(setup_activate));
    add_labelled(menu, "my_stock_open4", {{"打开接收", "open recieve", "打開接收"}},
                 G_CALLBACK(open_udp_click));
    add_labelled(menu, "my_stock_close4", {{"关闭接收", "close recieve", "關閉接收"}},
                 G_CALLBACK(close_udp_click));
    add_labelled(menu, "my_stock_exit", {{"退出程序", "exit", "退出程序"}}, G_CALLBACK(bt_exit));
}

void style_menu()
{
    GtkWidget* menu = add_top("my_stock_sample8", {{"界面风格", "style", "介面風格"}});
    const GCallback actions[6] = {G_CALLBACK(bt_rc1), G_CALLBACK(bt_rc2), G_CALLBACK(bt_rc3),
                                  G_CALLBACK(bt_rc4), G_CALLBACK(bt_rc5), G_CALLBACK(bt_rc6)};
    static const texts labels[6] = {
        {{"风格1", "style1", "風格1"}}, {{"风格2", "style2", "風格2"}},
        {{"风格3", "style3", "風格3"}}, {{"风格4", "style4", "風格4"}},
        {{"风格5", "style5", "風格5"}}, {{"风格6", "style6", "風格6"}},
    };
    for (int n = 1; n <= 6; ++n) {
        std::string stock_id = "my_stock_fg" + std::to_string(n);
        add_labelled(menu, stock_id.c_str(), labels[n - 1], actions[n - 1]);
    }
}

void language_menu()
{
    GtkWidget* menu = add_top("my_stock_sample9", {{"多语言切换", "language", "多語言切換"}});
    // Each language keeps its own name.
    add_item(menu, "my_stock_lan_chinese", G_CALLBACK(change_chinese));
    add_item(menu, "my_stock_lan_en", G_CALLBACK(change_englist));
    add_item(menu, "my_stock_lan_fanti", G_CALLBACK(change_fanti));
}

void toolbar_menu()
{
    GtkWidget* menu = add_top("my_stock_sample7", {{"工具栏", "toolbar", "工具欄"}});
    add_labelled(menu, "my_stock_sample4",
                 {{"打开关闭工具栏", "open or close toolbar", "打開關閉工具欄"}},
                 G_CALLBACK(open_close_toolbar));
}

void version_menu()
{
    GtkWidget* menu = add_top("my_stock_sample10", {{"版本信息", "version", "版本信息"}});
    add_labelled(menu, "my_stock_sample10", {{"版本信息", "version", "版本信息"}},
                 G_CALLBACK(menu_version));
}

}  // namespace

void CreateMenus()
{
    menubar = gtk_menu_bar_new();
    labelled.clear();
    system_menu();
    style_menu();
    language_menu();
    toolbar_menu();
    version_menu();
    // The stock labels are not the table's; start in the current language.
    change_language_menu(language_nu);
}

void change_language_menu(unsigned lang)
{
    if (lang > 2)
        return;
    for (const labelled_item& l : labelled)
        gtk_label_set_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(l.item))), tr(l.label.text, lang));
}

void switch_style(int n)
{
    std::string source = "gtkrc" + std::to_string(n);
    CopyFile(source.c_str(), "gtkrc");
    // Forced: a copy within the same second as the last reading keeps the
    // file's time, and GTK would skip it.
    gtk_rc_reparse_all_for_settings(gtk_settings_get_default(), TRUE);
}

void bt_rc1(GtkWidget*, gpointer) { switch_style(1); }
void bt_rc2(GtkWidget*, gpointer) { switch_style(2); }
void bt_rc3(GtkWidget*, gpointer) { switch_style(3); }
void bt_rc4(GtkWidget*, gpointer) { switch_style(4); }
void bt_rc5(GtkWidget*, gpointer) { switch_style(5); }
void bt_rc6(GtkWidget*, gpointer) { switch_style(6); }

void bt_exit(GtkWidget* widget, gpointer data) { func1(widget, data); }
