// The switch of the whole interface between simplified Chinese (0), English
// (1) and traditional Chinese (2).
#pragma once

#include <gtk/gtk.h>

// Sets language_nu and relabels every window in a fixed order. Any language
// may be chosen any number of times; each switch relabels everything again.
void switch_language(unsigned lang);

// Handlers of the language items; the arguments are not read.
void change_chinese(GtkWidget* widget, gpointer data);
void change_englist(GtkWidget* widget, gpointer data);
void change_fanti(GtkWidget* widget, gpointer data);
