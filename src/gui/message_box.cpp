#include "gui/message_box.h"

#include "gui/main_window.h"
#include "base/notice.h"

#include <utility>

namespace {
dialog_answerer g_answerer;

GtkWidget* new_box(const char* title)
{
    GtkWidget* dialog = gtk_dialog_new();
    gtk_window_set_title(GTK_WINDOW(dialog), title);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    if (window)
        gtk_window_set_transient_for(GTK_WINDOW(dialog), GTK_WINDOW(window));
    return dialog;
}

int show_box(GtkWidget* dialog, const char* text)
{
    GtkWidget* label = gtk_label_new(text);
    gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), label, TRUE, TRUE, 0);
    gtk_widget_show_all(dialog);
    int response = run_dialog(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response;
}
}  // namespace

void set_dialog_answerer(dialog_answerer answerer) { g_answerer = std::move(answerer); }

int run_dialog(GtkDialog* dialog)
{
    if (g_answerer) {
        gtk_widget_show(GTK_WIDGET(dialog));
        return g_answerer(dialog);
    }
    return gtk_dialog_run(dialog);
}

void MessageBox_(const char* text)
{
    GtkWidget* dialog = new_box("syslog");
    gtk_dialog_add_button(GTK_DIALOG(dialog), "gtk-ok", GTK_RESPONSE_OK);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    show_box(dialog, text);
}

int MessageBox_2(const char* text)
{
    GtkWidget* dialog = new_box("syslog");
    gtk_dialog_add_buttons(GTK_DIALOG(dialog), "ok", GTK_RESPONSE_OK, "cancel", GTK_RESPONSE_CANCEL,
                           nullptr);
    return show_box(dialog, text);
}

int MessageBox_4(const char* text, const char* title, const char* ok_text, const char* cancel_text)
{
    GtkWidget* dialog = new_box(title);
    gtk_dialog_add_buttons(GTK_DIALOG(dialog), ok_text, GTK_RESPONSE_OK, cancel_text,
                           GTK_RESPONSE_CANCEL, nullptr);
    return show_box(dialog, text);
}

void install_message_box_notices()
{
    set_notice_sink([](const char* text) { MessageBox_(text); });
}
