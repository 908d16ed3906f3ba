// The browsing widgets (device tree, record list and its buttons) for the
// tests: a fixture that shows them, and readers of what they show.
#pragma once

#include "base/language.h"
#include "browse/button_wnd_list.h"
#include "browse/list_data.h"
#include "browse/tree2.h"
#include "gui/main_window.h"
#include "support/browse_db.h"
#include "support/gui_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Puts the device tree's cursor on a row ("0", "0:1"), which lists its
// records; or the cursor of another view.
inline void set_tree_cursor(const char* path, GtkWidget* view = treeview)
{
    GtkTreePath* p = gtk_tree_path_new_from_string(path);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(view), p, nullptr, FALSE);
    gtk_tree_path_free(p);
}

// A record of a router and type placed in the device tree as it arrives.
inline void add_record_to_tree(unsigned ip, unsigned type)
{
    tagCommunicationData_ r {};
    r.dwIP = ip;
    r.msg.impMsg.dwLogType = type;
    add_to_tree(&r);
}

// The device tree in order: router rows as "name count", type rows as
// "  type count".
inline std::vector<std::string> tree_rows()
{
    std::vector<std::string> out;
    GtkTreeModel* m = GTK_TREE_MODEL(store);
    auto num = [m](GtkTreeIter* it, int col) { return std::to_string(cell_uint(m, it, col)); };
    GtkTreeIter r, c;
    for (bool ok = gtk_tree_model_get_iter_first(m, &r); ok; ok = gtk_tree_model_iter_next(m, &r)) {
        out.push_back(cell_text(m, &r, TREE_COL_NAME) + " " + num(&r, TREE_COL_COUNT));
        for (bool k = gtk_tree_model_iter_children(m, &c, &r); k;
             k = gtk_tree_model_iter_next(m, &c))
            out.push_back("  " + num(&c, TREE_COL_TYPE) + " " + num(&c, TREE_COL_COUNT));
    }
    return out;
}

inline std::vector<unsigned> list_column(int column)
{
    return column_uints(GTK_TREE_MODEL(store_list), column);
}

// A mouse button pressed on a widget, as its handler gets it.
inline gboolean press(GtkWidget* w, GdkEventType type, guint button,
                      gboolean (*handler)(GtkWidget*, GdkEventButton*, gpointer))
{
    GdkEventButton ev {};
    ev.type = type;
    ev.button = button;
    ev.window = gtk_widget_get_window(w);
    return handler(w, &ev, nullptr);
}

// The browsing widgets shown as the main window lays them out, over the
// emptied test database (skipped without one), in the first language.
class browse_test : public ::testing::Test {
protected:
    GtkWidget* win = nullptr;
    GtkWidget* under_tree = nullptr;

    virtual GtkWidget* pane() { return gtk_label_new("filter"); }
    void SetUp() override
    {
        if (!connect_test_db())
            GTEST_SKIP() << "no test database";
        language_nu = 0;
        ensure_gtk();
        init_tree_2();
        init_button_wnd_list();
        InitTreeView();
        hpaned_2_box = gtk_hbox_new(FALSE, 0);
        gtk_box_pack_start(GTK_BOX(hpaned_2_box), pane(), TRUE, TRUE, 5);
        GtkWidget* left = gtk_vbox_new(FALSE, 0);
        gtk_box_pack_start(GTK_BOX(left), scrolled_win, TRUE, TRUE, 0);
        if (under_tree)
            gtk_box_pack_start(GTK_BOX(left), under_tree, FALSE, FALSE, 0);
        GtkWidget* right = gtk_vbox_new(FALSE, 0);
        gtk_box_pack_start(GTK_BOX(right), scrolled_TreeView, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(right), hbox_button_list, FALSE, FALSE, 5);
        gtk_box_pack_start(GTK_BOX(right), hpaned_2_box, FALSE, FALSE, 0);
        GtkWidget* top = gtk_hbox_new(FALSE, 0);
        gtk_box_pack_start(GTK_BOX(top), left, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(top), right, TRUE, TRUE, 0);
        win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_container_add(GTK_CONTAINER(win), top);
        gtk_window_resize(GTK_WINDOW(win), 1000, 700);
        gtk_widget_show_all(win);
        pump_events();
    }
    void TearDown() override
    {
        stop_scripting_dialogs();
        if (win)
            gtk_widget_destroy(win);
        language_nu = 0;
        exe_sql("unlock tables");
    }
};
