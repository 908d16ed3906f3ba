// The main window and its layout containers: built at start-up, shared by
// every pane that packs into them or parents a dialog on the window.
#pragma once

#include <gtk/gtk.h>

extern GtkWidget* window;
extern GtkWidget* vbox_1;
extern GtkWidget* vpaned_1;
extern GtkWidget* hpaned_1;
extern GtkWidget* vpaned_2;
extern GtkWidget* vbox_3;
extern GtkWidget* vbox_change_email;
extern GtkWidget* vpaned_3;
extern GtkWidget* vbox_2;
extern GtkWidget* hpaned_2_box;
extern GtkWidget* viewport;
