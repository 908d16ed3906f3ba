#include "browse/menu_reverse_source_ip.h"

#include "base/language.h"
#include "browse/list_data.h"
#include "storage/page_set.h"
#include "storage/reverse_source.h"

GtkWidget* menu_popup_reverse = nullptr;
GtkWidget* popup_reverse = nullptr;

namespace {

const tr3 REVERSE_TEXT = {"反向源ip", "reverse source ip", "反向源ip"};

// Wanted sensitivity of the item; kept when the menu is built later.
gboolean item_sensitive = TRUE;

void relabel(unsigned lang)
{
    if (popup_reverse)
        gtk_menu_item_set_label(GTK_MENU_ITEM(popup_reverse),
                                lang == 1       ? REVERSE_TEXT.en
                                    : lang == 2 ? REVERSE_TEXT.tw
                                                : REVERSE_TEXT.zh);
}

}  // namespace

GtkWidget* create_popup_menu_reverse()
{
    GtkWidget* menu = gtk_menu_new();
    popup_reverse = gtk_menu_item_new_with_label(REVERSE_TEXT.zh);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), popup_reverse);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_separator_menu_item_new());
    g_signal_connect(popup_reverse, "activate", G_CALLBACK(menu_reverse), nullptr);
    gtk_widget_set_sensitive(popup_reverse, item_sensitive);
    gtk_widget_show_all(menu);
    return menu;
}

void init_popup_menu_reverse()
{
    menu_popup_reverse = create_popup_menu_reverse();
    change_chinese_popup_reverse();
    read_reverse_file();
    set_source_reversed_test(source_is_reversed);
}

void menu_popup_reverse_at(GdkEventButton* event)
{
    if (!menu_popup_reverse)
        return;
    gtk_menu_popup(GTK_MENU(menu_popup_reverse), nullptr, nullptr, nullptr, nullptr,
                   event ? event->button : 0, event ? event->time : gtk_get_current_event_time());
}

void menu_reverse(GtkMenuItem*, gpointer)
{
    // The item may be activated by other means than a click while it is
    // insensitive; the export's worker reads the list meanwhile.
    if (!item_sensitive || select_id_list == static_cast<guint>(-1))
        return;
    reverse_source_of_record(select_id_list);
}

void set_reverse_item_sensitive(gboolean sensitive)
{
    item_sensitive = sensitive ? TRUE : FALSE;
    if (popup_reverse)
        gtk_widget_set_sensitive(popup_reverse, item_sensitive);
}

void change_chinese_popup_reverse() { relabel(0); }
void change_en_popup_reverse() { relabel(1); }
void change_fanti_popup_reverse() { relabel(2); }
