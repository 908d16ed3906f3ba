// The e-mail pane: the header list of one router's stored mails,
// 10 a page (number, sender, subject, time, recipients), its button row,
// and below them the attachment list and the content view. It
// takes the place of the log list (vpaned_3) while a router's e-mail row is
// selected in the device tree.
#pragma once

#include <gtk/gtk.h>

#include <string>

// Model columns of store_email_title.
enum {
    EMAIL_COL_NUMBER = 0,  // unsigned, 1 for the newest mail
    EMAIL_COL_SENDER = 1,
    EMAIL_COL_SUBJECT = 2,
    EMAIL_COL_TIME = 3,
    EMAIL_COL_UNUSED_4 = 4,
    EMAIL_COL_PATH = 5,  // "mail_save/<router>/<file>": the key, never shown
    EMAIL_COL_RECIPIENTS = 6,
    EMAIL_COL_UNUSED_7 = 7,
    EMAIL_N_COLS = 8,
};

extern GtkWidget* vbox_top_email;
extern GtkWidget* scrolled_email_title;
extern GtkWidget* treeview_email_tile;
extern GtkListStore* store_email_title;

// Page shown (from 0) and the router whose mails are listed.
extern int current_pag_email;
extern guint current_ip_save_email;

// Builds the pane: the header list, the button row (button_wnd_email), the
// attachment list (built here when init_email_attach_wnd has not run yet)
// and the content view. The caller packs vbox_top_email into
// vbox_change_email and hides it.
void init_email_top_wnd();

// Shows the e-mail pane and hides the log list pane (vpaned_3), or the
// reverse.
void show_email_top();
void hide_email_top();

// Lists the first page of router ip's mails; lists page current_pag_email.
void show_email_head(guint ip);
void show_email_head_page(guint ip);

// Empties the header list.
void RemoveAll_email_title();

// The path (column 5) of the first selected row into out; 0, or -1 when no
// row is selected.
int GetCurSel_EmailName(std::string& out);

// "button-press-event" of the header list: a double click with the first
// button opens the first selected mail with the desktop's program.
gboolean click_tree_title(GtkWidget* widget, GdkEventButton* event, gpointer data);

// Titles of the header list's five columns and of the attachment list's
// column in a language (0 simplified Chinese, 1 English, 2 traditional):
// step 8 of the language switch.
void change_language_email_columns(unsigned lang);

// Tree listener: a router's e-mail row (type 144) shows the pane with its
// first page and empties the attachment list and the content view; any
// other row hides the pane.
void email_on_tree_selected(guint ip, guint type);

// Listener of the tree's pop-up menu after all mails of router ip were
// deleted: a list of that router's mails empties, with the panes below it.
void email_on_mails_deleted(guint ip);
