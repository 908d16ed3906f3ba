#include "email/email_content.h"

GtkWidget* email_content_text = nullptr;
GtkTextBuffer* email_content_buffer = nullptr;
GtkWidget* scrolled_email_content = nullptr;

void init_email_content_wnd()
{
    email_content_text = gtk_text_view_new();
    email_content_buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(email_content_text));
    // The body is read, not edited.
    gtk_text_view_set_editable(GTK_TEXT_VIEW(email_content_text), FALSE);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(email_content_text), GTK_WRAP_WORD_CHAR);
    scrolled_email_content = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled_email_content),
                                   GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(scrolled_email_content), email_content_text);
}

void set_email_content(const char* text)
{
    if (!email_content_buffer)
        return;
    const char* shown = text ? text : "";
    // A text view takes only UTF-8.
    if (!g_utf8_validate(shown, -1, nullptr)) {
        gchar* valid = g_utf8_make_valid(shown, -1);
        gtk_text_buffer_set_text(email_content_buffer, valid, -1);
        g_free(valid);
        return;
    }
    gtk_text_buffer_set_text(email_content_buffer, shown, -1);
}
