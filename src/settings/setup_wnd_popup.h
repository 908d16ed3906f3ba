// The settings pop-up: database settings and the UDP receive port.
#pragma once

#include <gtk/gtk.h>

extern GtkWidget* dialog_setup_pop;
extern GtkWidget* edit1_setup_pop;  // server address
extern GtkWidget* edit2_setup_pop;  // user
extern GtkWidget* edit3_setup_pop;  // password
extern GtkWidget* edit4_setup_pop;  // database port
extern GtkWidget* edit5_setup_pop;  // UDP port, read-only

// 87: saved; 88: cancelled. Set by create_setup_pop.
extern int b_exit_pop;

// Builds, runs and destroys the pop-up in the interface language.
void create_setup_pop();

// The pop-up's form in the interface language.
GtkWidget* init_setup_wnd_3();

// "config" and the pop-up's entries: read_config_2 accepts only a file of
// exactly 500 bytes and then shows the stored UDP port ("20000" when it is
// empty or not a number); write_config_2 stores all five entries. 0 or -1.
int read_config_2();
int write_config_2();
