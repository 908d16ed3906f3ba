// Opening and closing reception, from the menu and the toolbar.
#pragma once

#include <gtk/gtk.h>

// Reception open: records are taken in again. The toolbar's open item
// becomes insensitive and its close item sensitive.
void open_udp_click(GtkWidget* widget, gpointer data);

// Reception closed: records from both receivers are dropped. The toolbar's
// open item becomes sensitive and its close item insensitive.
void close_udp_click(GtkWidget* widget, gpointer data);
