// The content view of the e-mail pane: the plain-text body of the
// mail selected in the header list.
#pragma once

#include <gtk/gtk.h>

extern GtkWidget* email_content_text;
extern GtkTextBuffer* email_content_buffer;
extern GtkWidget* scrolled_email_content;

// Builds the text view in its scrolled window (empty, not editable);
// init_email_top_wnd calls it.
void init_email_content_wnd();

// Shows `text` (UTF-8; "" empties the view).
void set_email_content(const char* text);
