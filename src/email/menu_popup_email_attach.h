// The attachment list's pop-up menu: one item that exports the
// selected attachment and says where it went.
#pragma once

#include <gtk/gtk.h>

extern GtkWidget* menu_email_attach;
extern GtkWidget* popup_email_attach;

// Builds the menu ("导出附件") and connects the item.
void init_popup_menu_email_attach();

// The item's action: exports the selected attachment (without opening it)
// and shows in the interface language where it went, or that nothing was
// written.
void menu_proc_email_attach(GtkMenuItem* item, gpointer data);

// Relabel the item (language switch, step 11).
void change_chinese_popup_email_attach();
void change_en_popup_email_attach();
void change_fanti_popup_email_attach();
