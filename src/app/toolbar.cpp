#include "app/toolbar.h"

#include "base/language.h"
#include "app/version.h"
#include "app/udp_switch.h"
#include "settings/setup_wnd_popup.h"

GtkWidget* toolbar = nullptr;

namespace {

struct tool_def {
    const char* stock_id;
    tr3 text;
};

constexpr tool_def tool_defs[] = {
    {"my_stock_setup3", {"系统设置", "system set", "系統設置"}},
    {"my_stock_open4", {"开启接收", "open receve", "開啟接收"}},
    {"my_stock_close4", {"关闭接收", "stop receve", "關閉接收"}},
    {"my_stock_sample10", {"版本信息", "version", "版本信息"}},
};

void setup_clicked(GtkToolButton*, gpointer) { create_setup_pop(); }

GtkToolItem* add_item(int pos, GCallback action)
{
    GtkToolItem* item = gtk_tool_button_new_from_stock(tool_defs[pos].stock_id);
    g_signal_connect(item, "clicked", action, nullptr);
    gtk_toolbar_insert(GTK_TOOLBAR(toolbar), item, pos);
    return item;
}

}  // namespace

void init_toolbar()
{
    toolbar = gtk_toolbar_new();
    GtkToolItem* setup = add_item(TOOL_SETUP, G_CALLBACK(setup_clicked));
    gtk_tool_item_set_tooltip_text(setup, "ok");
    GtkToolItem* open = add_item(TOOL_OPEN_RECV, G_CALLBACK(open_udp_click));
    gtk_widget_set_sensitive(GTK_WIDGET(open), FALSE);
    add_item(TOOL_CLOSE_RECV, G_CALLBACK(close_udp_click));
    add_item(TOOL_VERSION, G_CALLBACK(version_click));
    // The stock labels are not the table's; start in the current language.
    change_language_toolbar(language_nu);
}

void change_language_toolbar(unsigned lang)
{
    if (!toolbar || lang > 2)
        return;
    for (int pos = TOOL_SETUP; pos <= TOOL_VERSION; ++pos)
        gtk_tool_button_set_label(GTK_TOOL_BUTTON(toolbar_item(pos)),
                                  tr(tool_defs[pos].text, lang));
}

GtkToolItem* toolbar_item(int pos)
{
    if (!toolbar)
        return nullptr;
    return gtk_toolbar_get_nth_item(GTK_TOOLBAR(toolbar), pos);
}

void open_close_toolbar(GtkWidget*, gpointer)
{
    static int uses = 0;
    ++uses;
    if (uses % 2 == 1)
        gtk_widget_hide(toolbar);
    else
        gtk_widget_show(toolbar);
}
