// The device tree and the record list on the test display and the test
// database: placing records, listing a row's records a page at a time, and
// the list's buttons and clicks.
#include "browse/set_list_data.h"
#include "storage/page_set.h"
#include "support/browse_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using strings = std::vector<std::string>;
using numbers = std::vector<unsigned>;
const unsigned R = 0x0101A8C0;  // 192.168.1.1

numbers range(unsigned from, unsigned to)
{
    numbers out;
    for (unsigned v = from; v <= to; ++v)
        out.push_back(v);
    return out;
}

void click(GtkWidget* b) { gtk_button_clicked(GTK_BUTTON(b)); }
bool sensitive(GtkWidget* w) { return gtk_widget_get_sensitive(w); }

}  // namespace

using Browse = browse_test;

TEST_F(Browse, TreeFromStoredRowsEqualsRecordByRecordPlacementInOrderOfArrival)
{
    EXPECT_EQ(ip_cur_change_store, static_cast<guint>(-1)) << "no row had the cursor yet";
    const std::pair<unsigned, unsigned> rows[] = {{R, 4}, {7, 2}, {R, 1}, {7, 144}, {R, 4}};
    for (auto [ip, type] : rows)
        store_rows(1, ip, type);
    sql_to_tree();
    const strings from_table = tree_rows();
    EXPECT_EQ(from_table,
              (strings {"192.168.1.1 3", "  4 2", "  1 1", "7.0.0.0 2", "  2 1", "  144 1"}));
    RemoveAll_tree();
    for (auto [ip, type] : rows)
        add_record_to_tree(ip, type);
    EXPECT_EQ(tree_rows(), from_table);
}

TEST_F(Browse, SelectingAndClickingTreeRowsListsTheirRecords)
{
    store_rows(3, R, 4, 100);
    store_rows(2, R, 1, 200);
    sql_to_tree();
    set_tree_cursor("0");
    EXPECT_EQ(type_cur_change_store, 128u);
    EXPECT_EQ(sql_cmd_filter, list_statement(R, 128));
    EXPECT_EQ(list_column(LIST_COL_NUMBER), range(1, 5));
    EXPECT_EQ(list_column(LIST_COL_ID), (numbers {5, 4, 3, 2, 1})) << "newest first";

    // The list's cursor names a record; the tree's cursor forgets it.
    set_tree_cursor("1", treeview_list);
    EXPECT_EQ(select_id_list, 4u);
    gtk_tree_view_expand_all(GTK_TREE_VIEW(treeview));
    set_tree_cursor("0:1");
    EXPECT_EQ(select_id_list, static_cast<guint>(-1));
    EXPECT_EQ(list_column(LIST_COL_ID), (numbers {5, 4}));

    rebuild_tree();
    EXPECT_EQ(ip_cur_change_store, R) << "the remembered row outlives a rebuild";
    EXPECT_EQ(type_cur_change_store, 1u);

    // Right clicks are consumed (the menus act on the row with the cursor);
    // a double click expands.
    set_tree_cursor("0");
    EXPECT_TRUE(press(treeview, GDK_BUTTON_PRESS, 3, click_tree));
    EXPECT_FALSE(press(treeview, GDK_2BUTTON_PRESS, 1, click_tree));
    GtkTreePath* p = gtk_tree_path_new_first();
    EXPECT_TRUE(gtk_tree_view_row_expanded(GTK_TREE_VIEW(treeview), p));
    gtk_tree_path_free(p);
    EXPECT_TRUE(press(treeview_list, GDK_BUTTON_PRESS, 3, click_tree_list));
    EXPECT_FALSE(press(treeview_list, GDK_BUTTON_PRESS, 1, click_tree_list));
}

TEST_F(Browse, PagesOfTwentyAndThePagingButtons)
{
    store_rows(45, R, 3);
    store_rows(5, R, 4);
    store_rows(20, 7, 1);
    const struct {
        GtkWidget** click;  // nullptr: list the tree row afresh
        unsigned ip, first, last, newest;
        bool previous, next;
    } steps[] = {
        {nullptr, R, 1, 20, 45, false, true},       {&button2_list, R, 21, 40, 25, true, true},
        {&button2_list, R, 41, 45, 5, true, false}, {&button1_list, R, 21, 40, 25, true, true},
        {nullptr, 7, 1, 20, 70, false, true},  // exactly twenty: then an empty page
        {&button2_list, 7, 0, 0, 0, true, false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(std::to_string(s.ip) + "/" + std::to_string(s.first));
        if (s.click)
            click(*s.click);
        else
            sql_to_list(s.ip, s.ip == R ? 3 : 1);
        EXPECT_EQ(list_column(LIST_COL_NUMBER), s.first ? range(s.first, s.last) : numbers {});
        if (s.newest) {
            EXPECT_EQ(list_column(LIST_COL_ID).front(), s.newest);
        }
        EXPECT_EQ(sensitive(button1_list), s.previous);
        EXPECT_EQ(sensitive(button2_list), s.next);
    }

    // A page stopped at the time limit is reported, not shown empty.
    sql_cmd_store_1 = list_statement(R, 3) + " and (sleep(1) = 0)";
    query_time_limit_s = 0.2;
    language_nu = 1;
    for (GtkWidget* b : {button1_list, button2_list}) {
        dialog_script ok {{GTK_RESPONSE_OK}, {}};
        script_dialogs(ok);
        click(b);
        EXPECT_EQ(ok.shown,
                  strings {"Reading the records took more than 0.2 s; the query was stopped."});
        EXPECT_TRUE(list_column(LIST_COL_NUMBER).empty());
    }
    query_time_limit_s = 30;
}

TEST_F(Browse, SelectionButtonsChooseWhatIsDeletedAndTheTreeIsRebuiltOnce)
{
    store_rows(5, R, 4);
    sql_to_tree();
    set_tree_cursor("0");  // ids 5 4 3 2 1
    static int rebuilt_routers = 0;
    g_signal_connect(store, "row-inserted",
                     G_CALLBACK(+[](GtkTreeModel*, GtkTreePath* p, GtkTreeIter*, gpointer) {
                         rebuilt_routers += gtk_tree_path_get_depth(p) == 1;
                     }),
                     nullptr);
    auto del = [](int answer) {
        dialog_script s {{answer}, {}};
        script_dialogs(s);
        click(button_del_list);
        stop_scripting_dialogs();
        return s.shown;
    };
    GtkTreeSelection* sel = gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_list));
    gtk_tree_selection_unselect_all(sel);
    for (const char* row : {"1", "3"}) {
        GtkTreePath* p = gtk_tree_path_new_from_string(row);
        gtk_tree_selection_select_path(sel, p);
        gtk_tree_path_free(p);
    }
    click(button_reverse_all_list);
    EXPECT_EQ(gtk_tree_selection_count_selected_rows(sel), 3);
    EXPECT_EQ(del(GTK_RESPONSE_CANCEL), strings {"确认删除吗"});
    EXPECT_EQ(table_rows(), 5) << "cancelled";
    EXPECT_EQ(rebuilt_routers, 0);

    EXPECT_EQ(del(GTK_RESPONSE_DELETE_EVENT).size(), 1u) << "closing confirms";
    EXPECT_EQ(get_sql_counter("select * from LogTab where id_inc in (4, 2)"), 2);
    EXPECT_EQ(table_rows(), 2);
    EXPECT_EQ(list_column(LIST_COL_NUMBER), (numbers {2, 4}));
    EXPECT_EQ(rebuilt_routers, 1);
    EXPECT_EQ(tree_rows().at(0), "192.168.1.1 2");

    gtk_tree_selection_unselect_all(sel);
    EXPECT_EQ(del(GTK_RESPONSE_OK).size(), 1u) << "nothing selected still asks";
    EXPECT_EQ(table_rows(), 2);
    EXPECT_EQ(rebuilt_routers, 2);
    click(button_sel_all_list);
    del(GTK_RESPONSE_OK);
    EXPECT_EQ(table_rows(), 0);
}

// The picture survives relabelling.
TEST_F(Browse, ShowHideSwapsImagesAndFollowsTheLanguage)
{
    GtkWidget* other = gtk_image_new_from_stock(GTK_STOCK_GO_UP, GTK_ICON_SIZE_LARGE_TOOLBAR);
    set_list_button_images(nullptr, nullptr, other);
    GtkWidget* own = gtk_button_get_image(GTK_BUTTON(button3_list));
    click(button3_list);
    EXPECT_FALSE(gtk_widget_get_visible(hpaned_2_box));
    language_nu = 1;
    set_lan_en_bt_list();
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(button3_list)), "show");
    EXPECT_EQ(gtk_button_get_image(GTK_BUTTON(button3_list)), other);
    click(button3_list);
    EXPECT_TRUE(gtk_widget_get_visible(hpaned_2_box));
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(button3_list)), "hide");
    EXPECT_EQ(gtk_button_get_image(GTK_BUTTON(button3_list)), own);
}
