// The main window's toolbar: settings, open and close reception, version.
#pragma once

#include <gtk/gtk.h>

extern GtkWidget* toolbar;

// Tool item positions.
enum {
    TOOL_SETUP = 0,
    TOOL_OPEN_RECV = 1,
    TOOL_CLOSE_RECV = 2,
    TOOL_VERSION = 3,
};

// Builds the toolbar's four items in the current language; the open item
// starts insensitive because reception starts open.
void init_toolbar();

// Labels of the four items in a language (0 simplified, 1 English,
// 2 traditional).
void change_language_toolbar(unsigned lang);

// The tool item at a position, or nullptr before the toolbar is built.
GtkToolItem* toolbar_item(int pos);

// Hides the toolbar on every odd use, shows it on every even one.
void open_close_toolbar(GtkWidget* widget, gpointer data);
