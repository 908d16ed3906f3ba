// The button row under the e-mail header list: previous page,
// next page, select all, reverse selection, delete.
#pragma once

#include <gtk/gtk.h>

extern GtkWidget* hbox_button_email;
extern GtkWidget* button_pre_email;
extern GtkWidget* button_next_email;
extern GtkWidget* button_sel_all_email;
extern GtkWidget* button_reverse_all_email;
extern GtkWidget* button_del_email;

// Builds the row (equal widths, simplified Chinese labels, previous and
// next insensitive); init_email_top_wnd calls it.
void init_button_wnd_email();

// Handlers.
void pre_email_clicked(GtkWidget* widget, gpointer data);
void next_email_clicked(GtkWidget* widget, gpointer data);
void sel_all_email_clicked(GtkWidget* widget, gpointer data);
void reverse_all_email_clicked(GtkWidget* widget, gpointer data);
// Asks "确认删除吗" (in the interface language); any answer but cancel
// runs del_email.
void del_email_clicked(GtkWidget* widget, gpointer data);

// Deletes the files of the selected rows. A row leaves the list only when
// its file is gone; when one or more went, the device tree is rebuilt once
// and the content and attachment panes are emptied. Files that could not
// be removed keep their rows and are told in one message. Returns the
// number of rows removed.
int del_email();

// Relabel the buttons (language switch, step 9).
void set_lan_chinese_bt_email();
void set_lan_en_bt_email();
void set_lan_fanti_bt_email();
