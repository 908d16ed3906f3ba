// The record list's pop-up menu: "反向源ip" switches the byte order in which
// the source addresses of all records of the selected record's kind (the
// first word of its text) are shown. The list and its file are
// storage/reverse_source.h.
#pragma once

#include <gtk/gtk.h>

extern GtkWidget* menu_popup_reverse;
extern GtkWidget* popup_reverse;

// Builds the menu in simplified Chinese, loads "reverse" and makes the row
// reader consult the list (InitTreeView calls it first, so the list is there
// before any record is shown).
void init_popup_menu_reverse();
GtkWidget* create_popup_menu_reverse();

// Opens the menu for a right click on the record list.
void menu_popup_reverse_at(GdkEventButton* event);

// The item's handler: for the record under the list's cursor (nothing when
// there is none), adds its key to the list or removes it, and rewrites the
// file. Rows already shown keep their rendering until the next page load.
void menu_reverse(GtkMenuItem* item, gpointer data);

// The item must not change the list while an export's worker reads it: the
// export makes it insensitive for its whole run (FALSE at its start, TRUE at
// its end).
void set_reverse_item_sensitive(gboolean sensitive);

// Relabel the menu.
void change_chinese_popup_reverse();
void change_en_popup_reverse();
void change_fanti_popup_reverse();
