// The filter panel: the two date pickers, the user, source-address and
// content entries, and the filter, delete and export buttons. It narrows the
// record list to the matches of the statement of the list on screen, counts
// them and deletes them.
#pragma once

#include "filter/filter_statement.h"

#include <gtk/gtk.h>

#include <string>

// The panel; the main window packs it into the filter pane.
extern GtkWidget* vbox_top_filter;
extern GtkWidget* frame1_filter;
extern GtkWidget* hpaned_1_filter;
extern GtkWidget* hbox_2_filter;  // the two pickers
extern GtkWidget* vbox_2_filter;
extern GtkWidget* frame_top;
extern GtkWidget* vbox_1_filter;
extern GtkWidget* frame_user;
extern GtkWidget* frame_sourceip;
extern GtkWidget* frame_content;
extern GtkWidget* edit1_filter;    // user pattern, 30 characters
extern GtkWidget* edit2_filter;    // source address, 15 characters
extern GtkWidget* edit3_filter;    // content pattern, 50 characters
extern GtkWidget* hbox_1_filter;   // the button row
extern GtkWidget* button1_filter;  // filter
extern GtkWidget* button2_filter;  // delete the matches
extern GtkWidget* button3_filter;  // export the matches (connected by the export window)

// Builds the pickers, then the panel, and connects the filter and delete
// buttons. Delete and export start sensitive; start-up makes them
// insensitive once the window is shown.
void init_filter_wnd();
// Puts the filter stock image on the filter button; null is skipped.
void set_filter_button_image(GtkWidget* image);
// Called once the main window is sized; the split keeps GTK's position.
void resize_paned_filter();

// The panel's inputs as they are now, with sql_cmd_filter as the base
// statement. GUI thread only; hand the values to filter_statement anywhere.
filter_inputs read_filter_inputs();
// In: the base statement; out: the filter statement of the panel's inputs.
void sql_get_filter(std::string& pSql);

// The filter action: the first page of the matches in the list, their count
// in the count label, the statement kept for the delete action. A statement
// the server refuses or stops leaves the list empty, says why in the count
// label and keeps nothing to delete.
void button1_click_filter(GtkButton* button, gpointer user_data);
// The delete action: asks, then deletes exactly what the last filter action
// counted (on all pages), clears the list and rebuilds the device tree. A
// failed deletion is reported and changes nothing on screen.
void button2_filter_clicked(GtkButton* button, GtkWindow* parent);

// The device tree's cursor moved to another node: delete and export become
// insensitive and the last filter action is forgotten.
void filter_node_changed();

// Relabel the panel and the pickers' check boxes and frames.
void set_lan_chinese_filter();
void set_lan_en_filter();
void set_lan_fanti_filter();
