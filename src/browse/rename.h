// Router aliases in the device tree and the alias dialog. The table and its
// file are browse/rename_table.h.
#pragma once

#include <gtk/gtk.h>

// The dialog's widgets while it is open, null otherwise.
extern GtkWidget* vbox1_rename;
extern GtkWidget* edit1_rename;  // the router's dotted address, read-only
extern GtkWidget* edit2_rename;  // the alias

// Start-up, after the tree was filled: every record free, then read_rename.
void init_buf_rename();
// Loads "rename" and shows the aliases; 0 when the file was loaded.
int read_rename();
// Replaces "rename" with the table; 0 when written.
int write_rename();

// Shows the aliases in the tree: for the records from 0 up to the first
// empty one, the router row of the record's address gets its name in column 0.
// Runs after every rebuild of the tree (a tree listener).
void rename_to_tree();
// A router row just appended: its alias, if it has one (a tree listener).
void rename_router_row(GtkTreeIter* row, guint ip);

// The alias dialog for one router. Cancel changes nothing; any other answer
// (closing the window too) applies the text: a non-empty alias is stored,
// an empty one removes the router's alias and shows its address again. When
// all 200 records are in use a new alias is refused with a message.
void create_rename_wnd(guint ip);
