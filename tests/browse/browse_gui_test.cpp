#include "base/language.h"
#include "app/main.h"
#include "browse/set_list_data.h"
#include "support/browse_db.h"
#include "storage/page_set.h"
#include "support/browse_window.h"
#include "support/gui_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const unsigned R = 0x0101A8C0;  // 192.168.1.1

tagCommunicationData_ record(unsigned ip, unsigned type)
{
    tagCommunicationData_ r {};
    r.dwIP = ip;
    r.msg.impMsg.dwLogType = type;
    return r;
}

// Routers as "name count ip 128", types indented as "cn|en|tw count ip type".
std::vector<std::string> dump_tree()
{
    std::vector<std::string> out;
    GtkTreeModel* m = GTK_TREE_MODEL(store);
    GtkTreeIter r, c;
    auto nums = [&](GtkTreeIter* it) {
        return " " + std::to_string(cell_uint(m, it, TREE_COL_COUNT)) + " " +
            std::to_string(cell_uint(m, it, TREE_COL_IP)) + " " +
            std::to_string(cell_uint(m, it, TREE_COL_TYPE));
    };
    for (gboolean ok = gtk_tree_model_get_iter_first(m, &r); ok;
         ok = gtk_tree_model_iter_next(m, &r)) {
        out.push_back(cell_text(m, &r, TREE_COL_NAME) + nums(&r));
        for (gboolean k = gtk_tree_model_iter_children(m, &c, &r); k;
             k = gtk_tree_model_iter_next(m, &c))
            out.push_back("  " + cell_text(m, &c, TREE_COL_LABEL_CN) + "|" +
                          cell_text(m, &c, TREE_COL_LABEL_EN) + "|" +
                          cell_text(m, &c, TREE_COL_LABEL_TW) + nums(&c));
    }
    return out;
}

std::vector<unsigned> range(unsigned from, unsigned to, int step = 1)
{
    std::vector<unsigned> out;
    for (long v = from; step > 0 ? v <= long(to) : v >= long(to); v += step)
        out.push_back(static_cast<unsigned>(v));
    return out;
}

GtkTreeSelection* list_sel() { return gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_list)); }

void select_list_rows(std::initializer_list<int> rows)
{
    gtk_tree_selection_unselect_all(list_sel());
    for (int r : rows) {
        GtkTreePath* p = gtk_tree_path_new_from_indices(r, -1);
        gtk_tree_selection_select_path(list_sel(), p);
        gtk_tree_path_free(p);
    }
}

std::vector<int> selected_list_rows()
{
    std::vector<int> out;
    GList* rows = gtk_tree_selection_get_selected_rows(list_sel(), nullptr);
    for (GList* l = rows; l; l = l->next)
        out.push_back(gtk_tree_path_get_indices(static_cast<GtkTreePath*>(l->data))[0]);
    g_list_free_full(rows, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));
    return out;
}

bool sensitive(GtkWidget* w) { return gtk_widget_get_sensitive(w); }

std::string label_of(GtkWidget* button) { return gtk_button_get_label(GTK_BUTTON(button)); }

int top_level_inserts = 0;

}  // namespace

#define NEED_DB()                                                                                  \
    if (!db)                                                                                       \
    GTEST_SKIP() << "no test database"

class Browse : public ::testing::Test {
protected:
    GtkWidget* win = nullptr;
    bool db = false;

    void SetUp() override
    {
        db = connect_test_db();
        language_nu = 0;
        init_browse_widgets();
        win = browse_window(gtk_label_new("filter"));
        top_level_inserts = 0;
        g_signal_connect(store, "row-inserted",
                         G_CALLBACK(+[](GtkTreeModel*, GtkTreePath* p, GtkTreeIter*, gpointer) {
                             if (gtk_tree_path_get_depth(p) == 1)
                                 ++top_level_inserts;
                         }),
                         nullptr);
    }
    void TearDown() override
    {
        stop_scripting_dialogs();
        gtk_widget_destroy(win);
        language_nu = 0;
    }
};

TEST_F(Browse, RecordsPlaceRoutersAndTypesInOrderOfArrival)
{
    EXPECT_EQ(tree_find_ip_2(R, nullptr), -1);
    EXPECT_EQ(ip_cur_change_store, static_cast<guint>(-1));
    for (auto [ip, type] : {std::pair {R, 4u}, {R, 1u}, {0x0100000Au, 144u}, {R, 4u}}) {
        tagCommunicationData_ r = record(ip, type);
        add_to_tree(&r);
    }
    EXPECT_EQ(dump_tree(),
              (std::vector<std::string> {
                  "192.168.1.1 3 16885952 128",
                  "  攻击报警|attack|攻擊報警 2 16885952 4",
                  "  上网记录|web log|上網記錄 1 16885952 1",
                  "10.0.0.1 1 16777226 128",
                  "  邮件|email|郵件 1 16777226 144",
              }));
    GtkTreeIter it, child;
    EXPECT_EQ(tree_find_ip_2(0x0100000A, &it), 1);
    EXPECT_EQ(tree_find_type(144, &it, &child), 0);
    EXPECT_EQ(tree_find_type(1, &it, &child), -1);

    RemoveAll_tree();
    EXPECT_EQ(tree_find_ip_2(R, &it), -1);
    tagCommunicationData_ r = record(0x0100000A, 5);
    add_to_tree(&r);
    EXPECT_EQ(dump_tree(),
              (std::vector<std::string> {"10.0.0.1 1 16777226 128",
                                         "  其它日志|others|其它日誌 1 16777226 5"}));
}

TEST_F(Browse, TreeFromStoredRowsEqualsRecordByRecordPlacement)
{
    NEED_DB();
    sql_to_tree();
    EXPECT_TRUE(dump_tree().empty());  // empty table, empty tree

    const std::pair<unsigned, unsigned> rows[] = {{R, 4}, {7, 2}, {R, 1}, {7, 2}, {R, 4},
                                                  {9, 3}, {7, 5}, {R, 1}, {R, 4}};
    for (auto [ip, type] : rows)
        store_rows(1, ip, type);
    sql_to_tree();
    std::vector<std::string> from_table = dump_tree();
    RemoveAll_tree();
    for (auto [ip, type] : rows) {
        tagCommunicationData_ r = record(ip, type);
        add_to_tree(&r);
    }
    EXPECT_EQ(from_table, dump_tree());
    ASSERT_EQ(from_table.size(), 8u);
    EXPECT_EQ(from_table[0], "192.168.1.1 5 16885952 128");
    EXPECT_EQ(from_table[4], "  2|ok_en|ok_fanti 2 7 2");
}

TEST_F(Browse, SelectingTreeRowsListsTheirRecords)
{
    NEED_DB();
    store_rows(3, R, 4, 100);
    store_rows(2, R, 1, 200);
    sql_to_tree();

    set_tree_cursor("0");
    EXPECT_EQ(ip_cur_change_store, R);
    EXPECT_EQ(type_cur_change_store, 128u);
    EXPECT_EQ(sql_cmd_filter, list_statement(R, 128));
    EXPECT_EQ(list_column(LIST_COL_NUMBER), range(1, 5));
    EXPECT_EQ(list_column(LIST_COL_ID), range(5, 1, -1));  // newest first
    EXPECT_FALSE(sensitive(button2_list));
    EXPECT_FALSE(sensitive(button1_list));

    // The list's cursor names a record; the tree's cursor forgets it.
    GtkTreePath* p = gtk_tree_path_new_from_indices(1, -1);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(treeview_list), p, nullptr, FALSE);
    gtk_tree_path_free(p);
    EXPECT_EQ(select_id_list, 4u);

    gtk_tree_view_expand_all(GTK_TREE_VIEW(treeview));
    set_tree_cursor("0:1");  // "上网记录"
    EXPECT_EQ(select_id_list, static_cast<guint>(-1));
    EXPECT_EQ(type_cur_change_store, 1u);
    EXPECT_EQ(list_column(LIST_COL_ID), (std::vector<unsigned> {5, 4}));

    // After a rebuild the cursor is gone but the remembered row stays.
    rebuild_tree();
    EXPECT_EQ(ip_cur_change_store, R);
    EXPECT_EQ(type_cur_change_store, 1u);
}

// Pages of twenty, numbered on from page to page, newest first; the paging
// buttons are sensitive only where there is a page to go to.
TEST_F(Browse, PagesOfTwentyAndThePagingButtons)
{
    NEED_DB();
    store_rows(45, R, 3);
    store_rows(5, R, 4);  // other type, not listed
    store_rows(20, 7, 1);
    struct step {
        GtkWidget** click;  // nullptr: list the tree row afresh
        unsigned ip, type, first, last, newest;
        bool previous, next;
    };
    const step steps[] = {
        {nullptr, R, 3, 1, 20, 45, false, true},
        {&button2_list, R, 3, 21, 40, 25, true, true},
        {&button2_list, R, 3, 41, 45, 5, true, false},
        {&button1_list, R, 3, 21, 40, 25, true, true},
        {&button1_list, R, 3, 1, 20, 45, false, true},
        {nullptr, 7, 1, 1, 20, 70, false, true},  // exactly twenty: then an empty page
        {&button2_list, 7, 1, 0, 0, 0, true, false},
    };
    for (const step& s : steps) {
        SCOPED_TRACE(std::to_string(s.ip) + "/" + std::to_string(s.first));
        if (s.click)
            gtk_button_clicked(GTK_BUTTON(*s.click));
        else
            sql_to_list(s.ip, s.type);
        EXPECT_EQ(list_column(LIST_COL_NUMBER), s.first ? range(s.first, s.last) : range(1, 0));
        if (s.newest) {
            EXPECT_EQ(list_column(LIST_COL_ID).front(), s.newest);
        }
        EXPECT_EQ(sensitive(button1_list), s.previous);
        EXPECT_EQ(sensitive(button2_list), s.next);
    }
}

TEST_F(Browse, DeletingSelectedRecordsAsksAndRebuildsTheTreeOnce)
{
    NEED_DB();
    store_rows(5, R, 4);
    sql_to_tree();
    set_tree_cursor("0");  // ids 5 4 3 2 1
    select_list_rows({0, 2, 4});

    dialog_script cancel;
    cancel.responses = {GTK_RESPONSE_CANCEL};
    script_dialogs(cancel);
    top_level_inserts = 0;
    gtk_button_clicked(GTK_BUTTON(button_del_list));
    EXPECT_EQ(cancel.shown, (std::vector<std::string> {"确认删除吗"}));
    EXPECT_EQ(table_rows(), 5);
    EXPECT_EQ(list_column(LIST_COL_ID).size(), 5u);
    EXPECT_EQ(top_level_inserts, 0);

    dialog_script closed;
    closed.responses = {GTK_RESPONSE_DELETE_EVENT};
    script_dialogs(closed);
    gtk_button_clicked(GTK_BUTTON(button_del_list));
    EXPECT_EQ(closed.shown.size(), 1u);
    EXPECT_EQ(table_rows(), 2);
    EXPECT_EQ(get_sql_counter("select * from LogTab where id_inc in (4, 2)"), 2);
    EXPECT_EQ(list_column(LIST_COL_NUMBER), (std::vector<unsigned> {2, 4}));
    EXPECT_EQ(top_level_inserts, 1);
    EXPECT_EQ(dump_tree().at(0), "192.168.1.1 2 16885952 128");

    // Nothing selected: still asks, then only rebuilds.
    dialog_script ok;
    ok.responses = {GTK_RESPONSE_OK};
    script_dialogs(ok);
    gtk_tree_selection_unselect_all(list_sel());
    gtk_button_clicked(GTK_BUTTON(button_del_list));
    EXPECT_EQ(ok.shown.size(), 1u);
    EXPECT_EQ(table_rows(), 2);
    EXPECT_EQ(top_level_inserts, 2);
}

TEST_F(Browse, ReverseSelectionAndSelectAll)
{
    for (unsigned i = 1; i <= 20; ++i) {
        GtkTreeIter it;
        add_one_row(i, &it);
        modify_one_row_num(&it, 100 + i, LIST_COL_ID);
    }
    select_list_rows({0, 1});
    gtk_button_clicked(GTK_BUTTON(button_reverse_all_list));
    std::vector<int> expect;
    for (int i = 2; i < 20; ++i)
        expect.push_back(i);
    EXPECT_EQ(selected_list_rows(), expect);
    gtk_button_clicked(GTK_BUTTON(button_sel_all_list));
    EXPECT_EQ(selected_list_rows().size(), 20u);
    RemoveAll();
    EXPECT_EQ(index_list, 0);
}

// The show/hide button's label tells the pane's state in each language; its
// picture swaps with the state and survives relabelling.
TEST_F(Browse, ShowHideSwapsImagesAndFollowsTheLanguage)
{
    GtkWidget* other = gtk_image_new_from_stock(GTK_STOCK_GO_UP, GTK_ICON_SIZE_LARGE_TOOLBAR);
    set_list_button_images(gtk_image_new_from_stock(GTK_STOCK_GO_BACK, GTK_ICON_SIZE_BUTTON),
                           gtk_image_new_from_stock(GTK_STOCK_GO_FORWARD, GTK_ICON_SIZE_BUTTON),
                           other);
    GtkWidget* own = gtk_button_get_image(GTK_BUTTON(button3_list));
    EXPECT_EQ(gtk_button_get_image_position(GTK_BUTTON(button2_list)), GTK_POS_RIGHT);
    gtk_button_clicked(GTK_BUTTON(button3_list));
    EXPECT_FALSE(gtk_widget_get_visible(hpaned_2_box));
    EXPECT_EQ(label_of(button3_list), "展开");
    language_nu = 1;
    set_lan_en_bt_list();
    EXPECT_EQ(label_of(button3_list), "show");
    EXPECT_EQ(gtk_button_get_image(GTK_BUTTON(button3_list)), other);
    gtk_button_clicked(GTK_BUTTON(button3_list));
    EXPECT_TRUE(gtk_widget_get_visible(hpaned_2_box));
    EXPECT_EQ(label_of(button3_list), "hide");
    EXPECT_EQ(gtk_button_get_image(GTK_BUTTON(button3_list)), own);
}

TEST_F(Browse, RightClicksAreConsumedDoubleClickExpands)
{
    tagCommunicationData_ r = record(R, 4);
    add_to_tree(&r);
    set_tree_cursor("0");
    EXPECT_TRUE(press(treeview, GDK_BUTTON_PRESS, 3, click_tree));
    EXPECT_FALSE(press(treeview, GDK_2BUTTON_PRESS, 1, click_tree));
    GtkTreePath* p = gtk_tree_path_new_first();
    EXPECT_TRUE(gtk_tree_view_row_expanded(GTK_TREE_VIEW(treeview), p));
    gtk_tree_path_free(p);
    EXPECT_TRUE(press(treeview_list, GDK_BUTTON_PRESS, 3, click_tree_list));
    EXPECT_FALSE(press(treeview_list, GDK_BUTTON_PRESS, 1, click_tree_list));
}
