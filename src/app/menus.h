// The main menu bar: system, style, language, toolbar and version menus.
#pragma once

#include <gtk/gtk.h>

extern GtkWidget* menubar;

// Builds the menu bar from the stock items, labelled in the current language.
void CreateMenus();

// Labels of every item but the three language items, in a language
// (0 simplified, 1 English, 2 traditional).
void change_language_menu(unsigned lang);

// Style N: copies "gtkrcN" over "gtkrc" and has GTK read its style files
// again. A missing "gtkrcN" leaves "gtkrc" as it is.
void switch_style(int n);
void bt_rc1(GtkWidget* widget, gpointer data);
void bt_rc2(GtkWidget* widget, gpointer data);
void bt_rc3(GtkWidget* widget, gpointer data);
void bt_rc4(GtkWidget* widget, gpointer data);
void bt_rc5(GtkWidget* widget, gpointer data);
void bt_rc6(GtkWidget* widget, gpointer data);

// The exit item: the quit question.
void bt_exit(GtkWidget* widget, gpointer data);
