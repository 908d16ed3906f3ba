// Modal message boxes. Every modal dialog of the program runs through
// run_dialog, so a test can answer it instead of a person.
#pragma once

#include <gtk/gtk.h>

#include <functional>

// Runs a modal dialog and returns its response. With an answerer installed,
// the dialog is shown, the answerer decides the response, and the dialog is
// not run.
int run_dialog(GtkDialog* dialog);

using dialog_answerer = std::function<int(GtkDialog* dialog)>;
void set_dialog_answerer(dialog_answerer answerer);

// Notice box: title "syslog", one "gtk-ok" button, centred on screen.
void MessageBox_(const char* text);

// Question box: title "syslog", buttons "ok" (-5) and "cancel" (-6).
int MessageBox_2(const char* text);

// Question box with a title and button texts of the caller's.
int MessageBox_4(const char* text, const char* title, const char* ok_text, const char* cancel_text);

// Shows notices of the window-less code (module loaders, storage) in MessageBox_.
void install_message_box_notices();
