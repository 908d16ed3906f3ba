// The device tree's pop-up menu: delete everything stored for the row that
// last received the tree's cursor, and the alias dialog for router rows.
#pragma once

#include <gtk/gtk.h>

#include <functional>

extern GtkWidget* menu_popup;
extern GtkWidget* popup_del;
extern GtkWidget* separator;
extern GtkWidget* popup_change_name;  // shown for router rows only

// Builds the menu in simplified Chinese (init_tree_2 calls it first).
void init_popup_menu();
GtkWidget* create_popup_menu();

// Opens the menu for a right click on the tree (a tree listener): the alias
// item is shown only when the row that last had the cursor is a router row.
// The menu acts on that row, not on the row under the pointer.
void popup_menu_on_right_click(GdkEventButton* event);

// Items' handlers.
void del_activated(GtkMenuItem* item, gpointer data);
void change_name_activated(GtkMenuItem* item, gpointer data);

// The delete item's action without the menu: nothing before a row had the
// cursor; else the question, and on any answer but cancel: an e-mail row
// loses its router's mail files, a router row its records and its mail
// files, a type row that type's records of its router; then the tree is
// rebuilt.
void delete_current_tree_item();

// Deletes all stored mails of one router, rebuilds the tree and tells the
// mail panes (popup_on_mails_deleted).
void del_email_by_ip(guint ip);

// Listeners told after a router's mail files were deleted, for the e-mail
// header list (store_email_title) to empty itself.
void popup_on_mails_deleted(std::function<void(guint ip)> listener);

// Relabel the menu.
void change_chinese_popup_menu();
void change_en_popup_menu();
void change_fanti_popup_menu();
