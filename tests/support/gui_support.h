// Helpers for tests that build widgets.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

void ensure_gtk();  // once, on the test command's display

std::vector<std::string> label_texts(GtkWidget* widget);

// Texts of the labels a dialog shows above its buttons, joined by '|'.
std::string dialog_message(GtkDialog* dialog);

// Answers the next dialogs with the given responses, records the texts they
// showed (dialog_message); a dialog beyond the queue gets -6.
struct dialog_script {
    std::vector<int> responses;
    std::vector<std::string> shown;
};
void script_dialogs(dialog_script& script);
void stop_scripting_dialogs();

void pump_events();

// A cell of a tree model: text ("-" for none) or number.
std::string cell_text(GtkTreeModel* model, GtkTreeIter* iter, int column);
unsigned cell_uint(GtkTreeModel* model, GtkTreeIter* iter, int column);

// A number column of a model's top-level rows, in order.
std::vector<unsigned> column_uints(GtkTreeModel* model, int column);
