// The version dialog.
#pragma once

#include <gtk/gtk.h>

// Modal "version" dialog over the main window with the version in the current
// language; runs until answered, then is destroyed.
void create_version_wnd();

// Menu and toolbar handlers that open it.
void menu_version(GtkWidget* widget, gpointer data);
void version_click(GtkWidget* widget, gpointer data);
