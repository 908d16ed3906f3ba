// The main window, its layout containers, start-up and shutdown.
#pragma once

#include "gui/main_window.h"

#include <gtk/gtk.h>

// The whole start-up sequence, the main loop and the return after it.
int logserver_main(int argc, char** argv);

// Start-up steps before the window exists: language line, GTK, modules.
void record_language_line();

// Builds the main window with its panes (start-up steps 7 to 14).
void build_main_window();

// The exit question of the menu; OK quits.
void func1(GtkWidget* widget, gpointer data);

// End of the program: frees what shutdown frees and leaves the main loop.
void quit_main();

// Keeps the left column at least 180 pixels wide.
void event_aaa(GObject* paned, GParamSpec* pspec, gpointer data);
