// The second menu bar. Start-up hides it and nothing shows it again.
#pragma once

#include <gtk/gtk.h>

extern GtkWidget* menubar_2;

// Builds menubar_2: a language menu of the marked language items.
void CreateMenus_2();
