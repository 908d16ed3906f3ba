// The button row under the record list: paging, selection, deletion and
// the show/hide switch of the filter pane.
#pragma once

#include <gtk/gtk.h>

extern GtkWidget* hbox_button_list;
extern GtkWidget* button1_list;  // previous page
extern GtkWidget* button2_list;  // next page
extern GtkWidget* button_sel_all_list;
extern GtkWidget* button_reverse_all_list;
extern GtkWidget* button_del_list;
extern GtkWidget* button3_list;  // show or hide the filter pane

// Builds the row; both paging buttons start insensitive.
void init_button_wnd_list();

// Puts the stock images on the buttons once they exist: `left` on the
// previous-page button, `right` right of the next-page label, and `other` as
// the image the show/hide button swaps in on its first click. Takes a
// reference to each image it is given; null images are skipped.
void set_list_button_images(GtkWidget* left, GtkWidget* right, GtkWidget* other);

// Handlers.
void button_pre_page(GtkWidget* button, gpointer data);
void button_next_page(GtkWidget* button, gpointer data);
void button_sel_all(GtkWidget* button, gpointer data);
void button_reverse_all(GtkWidget* button, gpointer data);
void button_sig_del_list(GtkWidget* button, gpointer data);
void show_hide_filter(GtkWidget* button, gpointer data);

// Deletes the selected records, one statement each within
// delete_time_limit_s, removing each row once its record is gone. 0, or -1
// at the first statement that failed (its row and the rows after it stay).
int del_list();

// Relabel the buttons.
void set_lan_chinese_bt_list();
void set_lan_en_bt_list();
void set_lan_fanti_bt_list();
