// Selection helpers shared by the record list and the e-mail header list.
#pragma once

#include <gtk/gtk.h>

// Selects every row of `model` that `sel` leaves out and unselects the rest.
inline void reverse_selection(GtkTreeSelection* sel, GtkTreeModel* model)
{
    GtkTreeIter it;
    for (gboolean ok = gtk_tree_model_get_iter_first(model, &it); ok;
         ok = gtk_tree_model_iter_next(model, &it)) {
        if (gtk_tree_selection_iter_is_selected(sel, &it))
            gtk_tree_selection_unselect_iter(sel, &it);
        else
            gtk_tree_selection_select_iter(sel, &it);
    }
}
