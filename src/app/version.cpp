#include "app/version.h"

#include "base/language.h"
#include "app/main.h"
#include "gui/message_box.h"

void create_version_wnd()
{
    GtkWidget* dialog = gtk_dialog_new_with_buttons(
        "version", window ? GTK_WINDOW(window) : nullptr, GTK_DIALOG_MODAL, "Ok", GTK_RESPONSE_OK,
        "Cancel", GTK_RESPONSE_CANCEL, nullptr);
    GtkWidget* label = gtk_label_new(tr({"版本号:v1.0", "version:v1.0", "版本號:v1.0"}));
    gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), label, TRUE, TRUE, 0);
    gtk_widget_show_all(dialog);
    gtk_window_resize(GTK_WINDOW(dialog), 200, 120);
    run_dialog(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

void menu_version(GtkWidget*, gpointer) { create_version_wnd(); }

void version_click(GtkWidget*, gpointer) { create_version_wnd(); }
