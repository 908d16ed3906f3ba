// The attachment list of the e-mail pane, the handler that shows
// the selected mail's body and attachments, and the export of one
// attachment into "mail_save/attach".
#pragma once

#include <gtk/gtk.h>

#include <string>

extern GtkListStore* store_email_attach;  // 0: name (UTF-8); 1: not filled
extern GtkWidget* treeview_email_attach;
extern GtkWidget* scrolled_email_attach;

// Builds the list (single selection, one column "附件") and connects
// "button-press-event" to click_tree_attach with user data 1.
void init_email_attach_wnd();

// Empties the list; appends one name (pIter, when given, gets the row).
void RemoveAll_list_email_attach();
void add_one_row_email_attach(const gchar* pname, GtkTreeIter* pIter);

// "cursor-changed" of the header list: the first selected mail's body into
// the content view and its attachment names into the list. Nothing changes
// when no mail is selected; a mail that cannot be read shows an empty body
// and no attachments.
void cursor_change_email_tile(GtkTreeView* view, gpointer data);

// Name of the selected attachment into out; 0, or -1 when none is selected.
int get_sel_attache_name(std::string& out);

// Mouse on the list: a right press with an attachment selected pops up
// menu_email_attach; a double click with the first button (user data 1)
// exports the attachment and opens it.
gboolean click_tree_attach(GtkWidget* widget, GdkEventButton* event, gpointer user_data);

// Exports the selected attachment of the selected mail to
// attach_file_path(name); mode 1 then opens it with the desktop's program,
// mode 2 does not. 0 when the file was written; -1 when nothing was (no
// selection, the mail or the attachment not found, the file not writable).
int export_email_attach(int mode);

// Title of the list's column in a language (0, 1, 2); called from
// change_language_email_columns.
void change_language_email_attach_column(unsigned lang);
