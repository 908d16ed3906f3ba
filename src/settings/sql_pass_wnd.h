// The start-up settings dialog, shown while the database cannot be reached.
#pragma once

#include <gtk/gtk.h>

extern GtkWidget* dialog_log;
extern GtkWidget* edit1_setup_log;  // server address
extern GtkWidget* edit2_setup_log;  // user
extern GtkWidget* edit3_setup_log;  // password
extern GtkWidget* edit4_setup_log;  // database port

// 87: try again with the settings entered; 88: quit. Set by create_password.
extern int b_exit;

// True when the settings entered last could not be written to "config": the
// start-up loop then connects with what is in memory.
extern bool config_save_failed;

// Builds, runs and destroys the start-up dialog in the language of lang_sys.
void create_password();

// The dialog's form in simplified Chinese, traditional Chinese and English.
GtkWidget* init_setup_wnd_2();
GtkWidget* init_setup_wnd_2_fanti();
GtkWidget* init_setup_wnd_2_en();

// "config" and the dialog's entries: read_config fills save_info (all but the
// UDP port) and, while the dialog exists, its four entries; write_config takes
// the entries into save_info and writes the whole record. 0 or -1.
int read_config();
int write_config();
