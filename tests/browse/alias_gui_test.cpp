// Aliases in the device tree, the alias dialog, the tree's pop-up menu with
// its deletions, and the record list's reversed-source menu, on the test
// display and the test database, each test in a scratch working directory.
#include "base/language.h"
#include "browse/button_wnd_list.h"
#include "browse/list_data.h"
#include "browse/menu_reverse_source_ip.h"
#include "browse/popup_menu.h"
#include "browse/rename.h"
#include "browse/rename_table.h"
#include "browse/set_list_data.h"
#include "browse/tree2.h"
#include "browse_db.h"
#include "email/python_interface.h"
#include "filter/filter_statement.h"
#include "gui/main_window.h"
#include "gui/message_box.h"
#include "storage/reverse_source.h"
#include "support/gui_support.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using strings = std::vector<std::string>;

namespace {

const unsigned A = 0x0101A8C0;  // 192.168.1.1
const unsigned B = 0x0201A8C0;  // 192.168.1.2
const unsigned C = 0x0301A8C0;  // 192.168.1.3

void add_record(unsigned ip, unsigned type)
{
    tagCommunicationData_ r {};
    r.dwIP = ip;
    r.msg.impMsg.dwLogType = type;
    add_to_tree(&r);
}

template <typename T>
T col(GtkTreeModel* m, GtkTreeIter* it, int c)
{
    T v {};
    gtk_tree_model_get(m, it, c, &v, -1);
    return v;
}

std::string text_col(GtkTreeModel* m, GtkTreeIter* it, int c)
{
    gchar* s = col<gchar*>(m, it, c);
    std::string out = s ? s : "";
    g_free(s);
    return out;
}

// Router rows as "name count", type rows as "  type count".
strings dump_tree()
{
    strings out;
    GtkTreeModel* m = GTK_TREE_MODEL(store);
    GtkTreeIter r, c;
    for (gboolean ok = gtk_tree_model_get_iter_first(m, &r); ok; ok = gtk_tree_model_iter_next(m, &r)) {
        out.push_back(text_col(m, &r, TREE_COL_NAME) + " " + std::to_string(col<guint>(m, &r, TREE_COL_COUNT)));
        for (gboolean k = gtk_tree_model_iter_children(m, &c, &r); k; k = gtk_tree_model_iter_next(m, &c))
            out.push_back("  " + std::to_string(col<guint>(m, &c, TREE_COL_TYPE)) + " " +
                          std::to_string(col<guint>(m, &c, TREE_COL_COUNT)));
    }
    return out;
}

std::string router_name(unsigned ip)
{
    GtkTreeIter it;
    return tree_find_ip_2(ip, &it) < 0 ? "(none)" : text_col(GTK_TREE_MODEL(store), &it, TREE_COL_NAME);
}

void set_cursor(GtkWidget* view, const char* path)
{
    gtk_tree_view_expand_all(GTK_TREE_VIEW(view));
    GtkTreePath* p = gtk_tree_path_new_from_string(path);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(view), p, nullptr, FALSE);
    gtk_tree_path_free(p);
}

// Source address of each listed record by id ("id:address").
strings list_sources()
{
    strings out;
    GtkTreeModel* m = GTK_TREE_MODEL(store_list);
    GtkTreeIter it;
    for (gboolean ok = gtk_tree_model_get_iter_first(m, &it); ok; ok = gtk_tree_model_iter_next(m, &it))
        out.push_back(std::to_string(col<guint>(m, &it, LIST_COL_ID)) + ":" + text_col(m, &it, LIST_COL_SOURCE));
    std::sort(out.begin(), out.end());
    return out;
}

long long rows_where(const std::string& cond) { return get_sql_counter("select * from LogTab where " + cond); }

gboolean right_click(GtkWidget* w, gboolean (*handler)(GtkWidget*, GdkEventButton*, gpointer))
{
    GdkEventButton ev {};
    ev.type = GDK_BUTTON_PRESS;
    ev.button = 3;
    ev.window = gtk_widget_get_window(w);
    return handler(w, &ev, nullptr);
}

std::string label(GtkWidget* item) { return gtk_menu_item_get_label(GTK_MENU_ITEM(item)); }

void activate(GtkWidget* item) { gtk_menu_item_activate(GTK_MENU_ITEM(item)); }

// Answers the alias dialog with a text and a response, any later box with
// OK, and records what each showed.
struct alias_answer {
    std::string text;
    int response = GTK_RESPONSE_OK;
    strings shown;
    std::string address;  // the read-only entry
    bool address_editable = true;
};

void answer_alias(alias_answer& a)
{
    set_dialog_answerer([&a](GtkDialog* dialog) {
        a.shown.push_back(dialog_message(dialog));
        if (a.shown.size() > 1 || !edit2_rename)
            return static_cast<int>(GTK_RESPONSE_OK);
        a.shown.back() = gtk_window_get_title(GTK_WINDOW(dialog)) + ("|" + a.shown.back());
        a.address = gtk_entry_get_text(GTK_ENTRY(edit1_rename));
        a.address_editable = gtk_editable_get_editable(GTK_EDITABLE(edit1_rename));
        gtk_entry_set_text(GTK_ENTRY(edit2_rename), a.text.c_str());
        return a.response;
    });
}

// Deletes through the tree menu with one answer; the boxes shown.
strings tree_delete(int answer)
{
    dialog_script script;
    script.responses = {answer};
    script_dialogs(script);
    activate(popup_del);
    stop_scripting_dialogs();
    return script.shown;
}

fs::path mail_dir(const char* dotted) { return fs::path("mail_save") / dotted; }

void make_mail(const char* dotted, const char* name)
{
    fs::create_directories(mail_dir(dotted));
    write_file((mail_dir(dotted) / name).string(), "Subject: x\r\n\r\nbody\r\n");
}

}  // namespace

#define NEED_DB()                                 \
    if (!db)                                      \
    GTEST_SKIP() << "no test database"

class Alias : public ::testing::Test {
protected:
    scratch_dir dir;  // the working directory: "rename", "reverse", "mail_save"
    GtkWidget* win = nullptr;
    bool db = false;

    void SetUp() override
    {
        ensure_gtk();
        db = connect_test_db();
        language_nu = 0;
        clear_rename_table();
        // The script module deletes mail files, as in the run directory.
        fs::copy_file(fs::path(RUN_DIR) / "my_email.py", "my_email.py");
        init_python_1();
        // As start-up wires them (app/main.cpp).
        tree_on_router_row(rename_router_row);
        tree_on_rebuilt(rename_to_tree);
        tree_on_right_click(popup_menu_on_right_click);

        init_tree_2();
        init_button_wnd_list();
        InitTreeView();
        hpaned_2_box = gtk_hbox_new(FALSE, 0);
        GtkWidget* box = gtk_hbox_new(FALSE, 0);
        gtk_box_pack_start(GTK_BOX(box), scrolled_win, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(box), scrolled_TreeView, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(box), hbox_button_list, FALSE, FALSE, 0);
        win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_container_add(GTK_CONTAINER(win), box);
        gtk_window_resize(GTK_WINDOW(win), 900, 600);
        gtk_widget_show_all(win);
        pump_events();
    }
    void TearDown() override
    {
        stop_scripting_dialogs();
        gtk_menu_popdown(GTK_MENU(menu_popup));
        gtk_menu_popdown(GTK_MENU(menu_popup_reverse));
        gtk_widget_destroy(win);
        language_nu = 0;
        set_source_reversed_test(nullptr);
        release_list();
    }

    static void rename_via_dialog(unsigned ip, const std::string& text, int response = GTK_RESPONSE_OK)
    {
        alias_answer a;
        a.text = text;
        a.response = response;
        answer_alias(a);
        create_rename_wnd(ip);
        stop_scripting_dialogs();
    }
};

TEST_F(Alias, DialogStoresClearsAndCancels)
{
    add_record(A, 4);
    set_cursor(treeview, "0");
    alias_answer a;
    a.text = "core router";
    answer_alias(a);
    activate(popup_change_name);
    EXPECT_EQ(a.shown, (strings {"sql log wnd|设置别名|ip  |别名"}));
    EXPECT_EQ(a.address, "192.168.1.1");
    EXPECT_FALSE(a.address_editable);
    EXPECT_EQ(edit2_rename, nullptr);  // cleared when the dialog closed
    EXPECT_EQ(router_name(A), "core router");
    EXPECT_EQ(read_file(RENAME_FILE).size(), 80800u);

    rename_via_dialog(A, "ignored", GTK_RESPONSE_CANCEL);
    EXPECT_EQ(router_name(A), "core router");
    rename_via_dialog(A, "", GTK_RESPONSE_DELETE_EVENT);  // closing applies
    EXPECT_EQ(router_name(A), "192.168.1.1");
    std::string bytes = read_file(RENAME_FILE);
    EXPECT_EQ(bytes.substr(0, 16), std::string("\xFF\xFF\xFF\xFF" "core router\0", 16));

    rename_via_dialog(A, "edge");
    EXPECT_EQ(get_pos_by_ip(A), 1);
    EXPECT_EQ(router_name(A), "edge");
}

TEST_F(Alias, AliasesOfTheLastRunAreShownAtStartUp)
{
    ASSERT_EQ(set_rename(B, "from the last run"), 0);
    ASSERT_EQ(write_rename_file(RENAME_FILE), 0);
    clear_rename_table();
    add_record(A, 1);
    add_record(B, 1);
    EXPECT_EQ(router_name(B), "192.168.1.2");
    init_buf_rename();
    EXPECT_EQ(dump_tree(), (strings {"192.168.1.1 1", "  1 1", "from the last run 1", "  1 1"}));
}

TEST_F(Alias, The201stAliasIsRefusedWithAMessageAndTheFileIsUnchanged)
{
    for (unsigned i = 0; i < 200; ++i)
        ASSERT_GE(set_rename(1000 + i, "r" + std::to_string(i)), 0);
    ASSERT_EQ(write_rename(), 0);
    std::string before = read_file(RENAME_FILE);
    add_record(A, 4);

    language_nu = 1;
    alias_answer a;
    a.text = "one too many";
    answer_alias(a);
    create_rename_wnd(A);
    EXPECT_EQ(a.shown, (strings {"sql log wnd|set alias|ip  |alias",
                                 "All 200 aliases are in use: no new alias can be set"}));
    EXPECT_EQ(read_file(RENAME_FILE), before);
    EXPECT_EQ(router_name(A), "192.168.1.1");

    alias_answer clear;  // clearing needs no record: no message
    answer_alias(clear);
    create_rename_wnd(A);
    EXPECT_EQ(clear.shown.size(), 1u);
    EXPECT_EQ(read_file(RENAME_FILE), before);
}

TEST_F(Alias, AliasesShowAfterEveryRebuildAndOnRoutersHeardOfLater)
{
    NEED_DB();
    store_rows(2, A, 4);
    store_rows(1, B, 1);
    sql_to_tree();
    rename_via_dialog(B, "branch B");
    rename_via_dialog(C, "router C");  // not in the tree yet

    // Deleting a record of router A rebuilds the tree: B keeps its alias.
    set_cursor(treeview, "0");
    set_cursor(treeview_list, "0");
    dialog_script ok;
    ok.responses = {GTK_RESPONSE_OK};
    script_dialogs(ok);
    gtk_button_clicked(GTK_BUTTON(button_del_list));
    EXPECT_EQ(dump_tree(), (strings {"192.168.1.1 1", "  4 1", "branch B 1", "  1 1"}));

    add_record(C, 5);
    EXPECT_EQ(router_name(C), "router C");
    store_rows(1, C, 3);
    rebuild_tree();
    EXPECT_EQ(router_name(C), "router C");
}

TEST_F(Alias, AliasItemIsShownForRouterRowsOnly)
{
    add_record(A, 4);
    set_cursor(treeview, "0:0");
    EXPECT_TRUE(right_click(treeview, click_tree));
    EXPECT_FALSE(gtk_widget_get_visible(popup_change_name));
    gtk_menu_popdown(GTK_MENU(menu_popup));
    set_cursor(treeview, "0");
    EXPECT_TRUE(right_click(treeview, click_tree));
    EXPECT_TRUE(gtk_widget_get_visible(popup_change_name));
}

TEST_F(Alias, DeletingBeforeAnyRowHadTheCursorDoesNothing)
{
    NEED_DB();
    store_rows(3, A, 4);
    make_mail("192.168.1.1", "1.eml");
    sql_to_tree();
    EXPECT_TRUE(tree_delete(GTK_RESPONSE_OK).empty());
    EXPECT_EQ(table_rows(), 3);
    EXPECT_TRUE(fs::exists(mail_dir("192.168.1.1") / "1.eml"));
}

TEST_F(Alias, DeletingATypeRowRemovesOnlyThatTypeOfThatRouter)
{
    NEED_DB();
    store_rows(3, A, 4);
    store_rows(2, A, 1);
    store_rows(2, B, 4);
    make_mail("192.168.1.1", "1.eml");
    sql_to_tree();
    set_cursor(treeview, "0:0");  // A, type 4
    EXPECT_EQ(tree_delete(GTK_RESPONSE_CANCEL), (strings {"确实要删除吗"}));
    EXPECT_EQ(table_rows(), 7);

    EXPECT_EQ(tree_delete(GTK_RESPONSE_OK).size(), 1u);
    EXPECT_EQ(rows_where("dwIP = 16885952 and dwLogType = 4"), 0);
    EXPECT_EQ(rows_where("dwIP = 16885952 and dwLogType = 1"), 2);
    EXPECT_EQ(rows_where("dwIP = 33663168"), 2);
    EXPECT_TRUE(fs::exists(mail_dir("192.168.1.1") / "1.eml"));
    EXPECT_EQ(dump_tree(), (strings {"192.168.1.1 2", "  1 2", "192.168.1.2 2", "  4 2"}));
}

TEST_F(Alias, DeletingARouterRowRemovesAllItsRecordsAndItsMailFiles)
{
    NEED_DB();
    store_rows(3, A, 4);
    store_rows(2, A, 1);
    store_rows(2, B, 4);
    make_mail("192.168.1.1", "1.eml");
    make_mail("192.168.1.1", "2.eml");
    make_mail("192.168.1.2", "3.eml");
    sql_to_tree();
    rename_via_dialog(B, "branch B");
    set_cursor(treeview, "0");
    language_nu = 2;
    EXPECT_EQ(tree_delete(GTK_RESPONSE_DELETE_EVENT), (strings {"確實要刪除嗎"}));  // closing confirms
    EXPECT_EQ(rows_where("dwIP = 16885952"), 0);
    EXPECT_TRUE(fs::is_empty(mail_dir("192.168.1.1")));
    EXPECT_TRUE(fs::exists(mail_dir("192.168.1.2") / "3.eml"));
    EXPECT_EQ(dump_tree(), (strings {"branch B 2", "  4 2"}));
}

TEST_F(Alias, DeletingAnEmailRowRemovesOnlyItsMailFiles)
{
    NEED_DB();
    store_rows(2, A, 4);
    make_mail("192.168.1.1", "1.eml");
    make_mail("192.168.1.2", "2.eml");
    sql_to_tree();
    add_record(A, 144);  // as the mail intake adds it
    set_cursor(treeview, "0:1");
    std::vector<guint> told;
    popup_on_mails_deleted([&told](guint ip) { told.push_back(ip); });
    EXPECT_EQ(tree_delete(GTK_RESPONSE_OK).size(), 1u);
    EXPECT_EQ(table_rows(), 2);
    EXPECT_FALSE(fs::exists(mail_dir("192.168.1.1") / "1.eml"));
    EXPECT_TRUE(fs::exists(mail_dir("192.168.1.2") / "2.eml"));
    EXPECT_EQ(told, (std::vector<guint> {A}));
    EXPECT_EQ(dump_tree(), (strings {"192.168.1.1 2", "  4 2"}));
}

TEST_F(Alias, MenusFollowTheLanguage)
{
    EXPECT_EQ(label(popup_del) + "|" + label(popup_change_name) + "|" + label(popup_reverse),
              "删除当前项所有数据|设置别名|反向源ip");
    change_en_popup_menu();
    change_en_popup_reverse();
    EXPECT_EQ(label(popup_del) + "|" + label(popup_change_name) + "|" + label(popup_reverse),
              "delete all the item in the selected|rename|reverse source ip");
    change_fanti_popup_menu();
    change_fanti_popup_reverse();
    EXPECT_EQ(label(popup_del) + "|" + label(popup_change_name) + "|" + label(popup_reverse),
              "刪除當前項所有數據|設置別名|反向源ip");
}

TEST_F(Alias, ReverseTwiceWritesOneRecordThenNoneAndWaitsForExports)
{
    NEED_DB();
    stored_row r;
    r.content = "nat_rule changed";
    ASSERT_TRUE(store_row(r));
    sql_to_list(r.ip, 128);
    activate(popup_reverse);  // no record under the cursor yet
    EXPECT_FALSE(fs::exists(REVERSE_FILE));

    set_cursor(treeview_list, "0");
    EXPECT_TRUE(right_click(treeview_list, click_tree_list));
    gtk_menu_popdown(GTK_MENU(menu_popup_reverse));
    activate(popup_reverse);
    EXPECT_EQ(read_file(REVERSE_FILE), "nat_rule" + std::string(292, '\0'));
    activate(popup_reverse);
    EXPECT_EQ(read_file(REVERSE_FILE), "");

    set_reverse_item_sensitive(FALSE);  // an export runs
    EXPECT_FALSE(gtk_widget_get_sensitive(popup_reverse));
    menu_reverse(GTK_MENU_ITEM(popup_reverse), nullptr);
    EXPECT_TRUE(reverse_list_entries().empty());
    set_reverse_item_sensitive(TRUE);
    activate(popup_reverse);
    EXPECT_EQ(reverse_list_entries(), (strings {"nat_rule"}));
}

TEST_F(Alias, ReversedKeyShowsOnTheNextPageLoadWhileTheFilterStillFindsTheAddress)
{
    NEED_DB();
    stored_row r;
    r.source = 0x0A000001;  // 10.0.0.1
    r.content = "nat_rule changed";
    ASSERT_TRUE(store_row(r));  // id 1
    r.content = "dhcp lease";
    ASSERT_TRUE(store_row(r));  // id 2
    sql_to_tree();
    set_cursor(treeview, "0");
    const strings before {"1:10.0.0.1", "2:10.0.0.1"};
    ASSERT_EQ(list_sources(), before);
    for (const char* row : {"0", "1"}) {
        set_cursor(treeview_list, row);
        if (select_id_list == 1)
            activate(popup_reverse);
    }
    EXPECT_EQ(list_sources(), before);  // rows shown keep their rendering
    set_cursor(treeview, "0");          // the next page load
    EXPECT_EQ(list_sources(), (strings {"1:1.0.0.10", "2:10.0.0.1"}));

    // The filter compares the stored address: 10.0.0.1 still finds the row.
    filter_inputs in;
    in.base = sql_cmd_filter;
    in.source_ip = "10.0.0.1";
    std::string sql = filter_statement(in, mysql);
    EXPECT_EQ(get_sql_counter(sql), 2);
    reset_page();
    sql_get_page(sql);
    guint counter = 0;
    sql_to_list_cmd(sql, &counter);
    EXPECT_EQ(list_sources(), (strings {"1:1.0.0.10", "2:10.0.0.1"}));
}
