#include "support/gui_support.h"

#include "gui/message_box.h"

#include <cstdlib>

void ensure_gtk()
{
    if (!std::getenv("DISPLAY"))
        std::abort();  // GUI tests run under the test command's X server
    [[maybe_unused]] static const bool done = (gtk_init(nullptr, nullptr), true);
}

std::vector<std::string> label_texts(GtkWidget* widget)
{
    std::vector<std::string> out;
    if (GTK_IS_LABEL(widget))
        out.emplace_back(gtk_label_get_text(GTK_LABEL(widget)));
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* l = children; l; l = l->next)
            for (auto& t : label_texts(GTK_WIDGET(l->data)))
                out.push_back(std::move(t));
        g_list_free(children);
    }
    return out;
}

std::string dialog_message(GtkDialog* dialog)
{
    std::string text;
    GList* children = gtk_container_get_children(GTK_CONTAINER(dialog->vbox));
    for (GList* l = children; l; l = l->next) {
        if (GTK_WIDGET(l->data) == dialog->action_area)
            continue;
        for (const auto& t : label_texts(GTK_WIDGET(l->data)))
            text += (text.empty() ? "" : "|") + t;
    }
    g_list_free(children);
    return text;
}

void script_dialogs(dialog_script& script)
{
    set_dialog_answerer([&script](GtkDialog* dialog) {
        std::size_t i = script.shown.size();
        script.shown.push_back(dialog_message(dialog));
        return i < script.responses.size() ? script.responses[i] : GTK_RESPONSE_CANCEL;
    });
}

void stop_scripting_dialogs() { set_dialog_answerer(nullptr); }

void pump_events()
{
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
}

std::string cell_text(GtkTreeModel* model, GtkTreeIter* iter, int column)
{
    gchar* s = nullptr;
    gtk_tree_model_get(model, iter, column, &s, -1);
    std::string out = s ? s : "-";
    g_free(s);
    return out;
}

unsigned cell_uint(GtkTreeModel* model, GtkTreeIter* iter, int column)
{
    guint v = 0;
    gtk_tree_model_get(model, iter, column, &v, -1);
    return v;
}

std::vector<unsigned> column_uints(GtkTreeModel* model, int column)
{
    std::vector<unsigned> out;
    GtkTreeIter it;
    for (gboolean ok = gtk_tree_model_get_iter_first(model, &it); ok;
         ok = gtk_tree_model_iter_next(model, &it))
        out.push_back(cell_uint(model, &it, column));
    return out;
}
