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
#include "storage/page_set.h"
#include "storage/reverse_source.h"
#include "support/gui_support.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const unsigned A = 0x0101A8C0;  // 192.168.1.1
const unsigned B = 0x0201A8C0;  // 192.168.1.2
const unsigned C = 0x0301A8C0;  // 192.168.1.3

tagCommunicationData_ record(unsigned ip, unsigned type)
{
    tagCommunicationData_ r {};
    r.dwIP = ip;
    r.msg.impMsg.dwLogType = type;
    return r;
}

std::string str_col(GtkTreeIter* it, int col)
{
    gchar* s = nullptr;
    gtk_tree_model_get(GTK_TREE_MODEL(store), it, col, &s, -1);
    std::string out = s ? s : "-";
    g_free(s);
    return out;
}

unsigned uint_col(GtkTreeIter* it, int col)
{
    guint v = 0;
    gtk_tree_model_get(GTK_TREE_MODEL(store), it, col, &v, -1);
    return v;
}

// Router rows as "name count", type rows indented as "  type count".
std::vector<std::string> dump_tree()
{
    std::vector<std::string> out;
    GtkTreeModel* m = GTK_TREE_MODEL(store);
    GtkTreeIter r, c;
    for (gboolean ok = gtk_tree_model_get_iter_first(m, &r); ok; ok = gtk_tree_model_iter_next(m, &r)) {
        out.push_back(str_col(&r, TREE_COL_NAME) + " " + std::to_string(uint_col(&r, TREE_COL_COUNT)));
        for (gboolean k = gtk_tree_model_iter_children(m, &c, &r); k; k = gtk_tree_model_iter_next(m, &c))
            out.push_back("  " + std::to_string(uint_col(&c, TREE_COL_TYPE)) + " " +
                          std::to_string(uint_col(&c, TREE_COL_COUNT)));
    }
    return out;
}

std::string router_name(unsigned ip)
{
    GtkTreeIter it;
    if (tree_find_ip_2(ip, &it) < 0)
        return "(none)";
    return str_col(&it, TREE_COL_NAME);
}

void set_tree_cursor(const char* path)
{
    gtk_tree_view_expand_all(GTK_TREE_VIEW(treeview));
    GtkTreePath* p = gtk_tree_path_new_from_string(path);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(treeview), p, nullptr, FALSE);
    gtk_tree_path_free(p);
}

void set_list_cursor(int row)
{
    GtkTreePath* p = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(treeview_list), p, nullptr, FALSE);
    gtk_tree_path_free(p);
}

std::vector<std::string> list_texts(int col)
{
    std::vector<std::string> out;
    GtkTreeModel* m = GTK_TREE_MODEL(store_list);
    GtkTreeIter it;
    for (gboolean ok = gtk_tree_model_get_iter_first(m, &it); ok; ok = gtk_tree_model_iter_next(m, &it)) {
        gchar* s = nullptr;
        gtk_tree_model_get(m, &it, col, &s, -1);
        out.emplace_back(s ? s : "");
        g_free(s);
    }
    return out;
}

long long rows_where(const std::string& cond)
{
    return get_sql_counter("select * from LogTab where " + cond);
}

gboolean right_click(GtkWidget* w, gboolean (*handler)(GtkWidget*, GdkEventButton*, gpointer))
{
    GdkEventButton ev {};
    ev.type = GDK_BUTTON_PRESS;
    ev.button = 3;
    ev.window = gtk_widget_get_window(w);
    ev.time = GDK_CURRENT_TIME;
    return handler(w, &ev, nullptr);
}

std::string menu_label(GtkWidget* item) { return gtk_menu_item_get_label(GTK_MENU_ITEM(item)); }

// Answers the alias dialog with a text and a response, then any further
// dialog (the refusal notice) with OK; records what each dialog showed.
struct alias_answer {
    std::string text;
    int response = GTK_RESPONSE_OK;
    std::vector<std::string> shown;
    std::string address;  // the read-only entry's text
    bool address_editable = true;
    std::string title;
};

void answer_alias(alias_answer& a)
{
    set_dialog_answerer([&a](GtkDialog* dialog) {
        a.shown.push_back(dialog_message(dialog));
        if (a.shown.size() == 1 && edit2_rename) {
            a.title = gtk_window_get_title(GTK_WINDOW(dialog));
            a.address = gtk_entry_get_text(GTK_ENTRY(edit1_rename));
            a.address_editable = gtk_editable_get_editable(GTK_EDITABLE(edit1_rename));
            gtk_entry_set_text(GTK_ENTRY(edit2_rename), a.text.c_str());
            return a.response;
        }
        return static_cast<int>(GTK_RESPONSE_OK);
    });
}

// The mail folder as the tests create it (the program's own rule is in
// storage/tree_delete.h and checked there).
fs::path router_mail_path(unsigned ip)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", ip & 0xFF, (ip >> 8) & 0xFF, (ip >> 16) & 0xFF,
                  ip >> 24);
    return fs::path("mail_save") / buf;
}

void make_mail(unsigned ip, const std::string& name)
{
    fs::path dir = router_mail_path(ip);
    fs::create_directories(dir);
    write_file((dir / name).string(), "Subject: x\r\n\r\nbody\r\n");
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
        release_list();
        clear_rename_table();
        // The script module deletes mail files, as in the run directory.
        fs::copy_file(fs::path(RUN_DIR) / "my_email.py", "my_email.py");
        init_python_1();
        fs::create_directory("mail_save");

        // As start-up wires them (app/main.cpp).
        tree_on_router_row(rename_router_row);
        tree_on_rebuilt(rename_to_tree);
        tree_on_right_click(popup_menu_on_right_click);

        init_tree_2();
        init_button_wnd_list();
        InitTreeView();
        hpaned_2_box = gtk_hbox_new(FALSE, 0);
        GtkWidget* right = gtk_vbox_new(FALSE, 0);
        gtk_box_pack_start(GTK_BOX(right), scrolled_TreeView, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(right), hbox_button_list, FALSE, FALSE, 5);
        gtk_box_pack_start(GTK_BOX(right), hpaned_2_box, FALSE, FALSE, 0);
        GtkWidget* top = gtk_hbox_new(FALSE, 0);
        gtk_box_pack_start(GTK_BOX(top), scrolled_win, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(top), right, TRUE, TRUE, 0);
        win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_container_add(GTK_CONTAINER(win), top);
        gtk_window_resize(GTK_WINDOW(win), 900, 600);
        gtk_widget_show_all(win);
        pump_events();
    }
    void TearDown() override
    {
        stop_scripting_dialogs();
        if (menu_popup)
            gtk_menu_popdown(GTK_MENU(menu_popup));
        if (menu_popup_reverse)
            gtk_menu_popdown(GTK_MENU(menu_popup_reverse));
        gtk_widget_destroy(win);
        language_nu = 0;
        set_source_reversed_test(nullptr);
        release_list();
    }

    void rename_via_dialog(unsigned ip, const std::string& text, int response = GTK_RESPONSE_OK)
    {
        alias_answer a;
        a.text = text;
        a.response = response;
        answer_alias(a);
        create_rename_wnd(ip);
        stop_scripting_dialogs();
    }
};

TEST_F(Alias, DialogShowsTheAddressAndStoresTheAliasInTreeAndFile)
{
    tagCommunicationData_ r = record(A, 4);
    add_to_tree(&r);
    set_tree_cursor("0");
    alias_answer a;
    a.text = "core router";
    answer_alias(a);
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_change_name));
    ASSERT_EQ(a.shown.size(), 1u);
    EXPECT_EQ(a.shown[0], "设置别名|ip  |别名");
    EXPECT_EQ(a.title, "sql log wnd");
    EXPECT_EQ(a.address, "192.168.1.1");
    EXPECT_FALSE(a.address_editable);
    EXPECT_EQ(edit2_rename, nullptr);  // cleared when the dialog closed
    EXPECT_EQ(router_name(A), "core router");
    EXPECT_EQ(read_file(RENAME_FILE).size(), 80800u);
    EXPECT_EQ(get_pos_by_ip(A), 0);
}

TEST_F(Alias, CancelChangesNothingClosingTheWindowApplies)
{
    tagCommunicationData_ r = record(A, 4);
    add_to_tree(&r);
    rename_via_dialog(A, "ignored", GTK_RESPONSE_CANCEL);
    EXPECT_EQ(router_name(A), "192.168.1.1");
    EXPECT_FALSE(fs::exists(RENAME_FILE));
    EXPECT_EQ(get_pos_by_ip(A), -1);

    rename_via_dialog(A, "closed", GTK_RESPONSE_DELETE_EVENT);
    EXPECT_EQ(router_name(A), "closed");
}

TEST_F(Alias, ClearingRestoresTheAddressAndKeepsTheRecordsName)
{
    tagCommunicationData_ r = record(A, 4);
    add_to_tree(&r);
    rename_via_dialog(A, "edge");
    EXPECT_EQ(router_name(A), "edge");
    rename_via_dialog(A, "");
    EXPECT_EQ(router_name(A), "192.168.1.1");
    EXPECT_EQ(name_save[0].ip, RENAME_NO_IP);
    EXPECT_EQ(std::string(rename_name(0)), "edge");
    std::string bytes = read_file(RENAME_FILE);
    ASSERT_EQ(bytes.size(), 80800u);
    EXPECT_EQ(bytes.substr(0, 9), std::string("\xFF\xFF\xFF\xFF" "edge", 8) + '\0');

    rename_via_dialog(A, "edge again");
    EXPECT_EQ(get_pos_by_ip(A), 1);
    EXPECT_EQ(router_name(A), "edge again");
}

TEST_F(Alias, AliasFileOfTheLastRunIsShownAtStartUp)
{
    ASSERT_EQ(set_rename(B, "from the last run"), 0);
    ASSERT_EQ(write_rename_file(RENAME_FILE), 0);
    clear_rename_table();
    for (unsigned ip : {A, B}) {
        tagCommunicationData_ r = record(ip, 1);
        add_to_tree(&r);
    }
    EXPECT_EQ(router_name(B), "192.168.1.2");  // not loaded yet
    init_buf_rename();
    EXPECT_EQ(router_name(A), "192.168.1.1");
    EXPECT_EQ(router_name(B), "from the last run");

    // A file of another length: no aliases.
    write_file(RENAME_FILE, std::string(80801, '\0'));
    RemoveAll_tree();
    init_buf_rename();
    tagCommunicationData_ r = record(B, 1);
    add_to_tree(&r);
    EXPECT_EQ(router_name(B), "192.168.1.2");
}

TEST_F(Alias, The201stAliasIsRefusedWithAMessageAndTheFileIsUnchanged)
{
    for (unsigned i = 0; i < 200; ++i)
        ASSERT_GE(set_rename(1000 + i, "r" + std::to_string(i)), 0);
    ASSERT_EQ(write_rename(), 0);
    std::string before = read_file(RENAME_FILE);
    tagCommunicationData_ r = record(A, 4);
    add_to_tree(&r);

    language_nu = 1;
    alias_answer a;
    a.text = "one too many";
    answer_alias(a);
    create_rename_wnd(A);
    ASSERT_EQ(a.shown.size(), 2u);
    EXPECT_EQ(a.shown[0], "set alias|ip  |alias");
    EXPECT_EQ(a.shown[1], "All 200 aliases are in use: no new alias can be set");
    EXPECT_EQ(read_file(RENAME_FILE), before);
    EXPECT_EQ(router_name(A), "192.168.1.1");
    EXPECT_EQ(get_pos_by_ip(A), -1);

    // Clearing a router that has no alias needs no record: no message.
    alias_answer clear;
    answer_alias(clear);
    create_rename_wnd(A);
    EXPECT_EQ(clear.shown.size(), 1u);
    EXPECT_EQ(read_file(RENAME_FILE), before);
}

TEST_F(Alias, AliasesShowOnRouterRowsCreatedLaterAndAfterEveryRebuild)
{
    NEED_DB();
    store_rows(2, A, 4);
    store_rows(1, B, 1);
    sql_to_tree();
    init_buf_rename();
    rename_via_dialog(B, "branch B");
    rename_via_dialog(C, "router C");  // not in the tree yet
    EXPECT_EQ(router_name(B), "branch B");

    // Deleting a record of router A rebuilds the tree: B keeps its alias.
    set_tree_cursor("0");
    GtkTreePath* p = gtk_tree_path_new_first();
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_list)), p);
    gtk_tree_path_free(p);
    dialog_script ok;
    ok.responses = {GTK_RESPONSE_OK};
    script_dialogs(ok);
    gtk_button_clicked(GTK_BUTTON(button_del_list));
    EXPECT_EQ(table_rows(), 2);
    EXPECT_EQ(dump_tree(), (std::vector<std::string> {"192.168.1.1 1", "  4 1", "branch B 1", "  1 1"}));

    // A router heard of for the first time shows its alias at once.
    tagCommunicationData_ r = record(C, 5);
    add_to_tree(&r);
    EXPECT_EQ(router_name(C), "router C");

    // And so does a rebuild's row of a router that was not there before.
    store_rows(1, C, 3);
    rebuild_tree();
    EXPECT_EQ(router_name(C), "router C");
    EXPECT_EQ(router_name(B), "branch B");
}

TEST_F(Alias, AliasItemIsShownForRouterRowsOnly)
{
    tagCommunicationData_ r = record(A, 4);
    add_to_tree(&r);
    set_tree_cursor("0:0");
    EXPECT_TRUE(right_click(treeview, click_tree));
    EXPECT_FALSE(gtk_widget_get_visible(popup_change_name));
    EXPECT_TRUE(gtk_widget_get_visible(popup_del));
    gtk_menu_popdown(GTK_MENU(menu_popup));

    set_tree_cursor("0");
    EXPECT_TRUE(right_click(treeview, click_tree));
    EXPECT_TRUE(gtk_widget_get_visible(popup_change_name));
    gtk_menu_popdown(GTK_MENU(menu_popup));
    // The click does not move the cursor: the menu acts on the router row.
    EXPECT_EQ(type_cur_change_store, 128u);
}

TEST_F(Alias, DeletingBeforeAnyRowHadTheCursorDoesNothing)
{
    NEED_DB();
    store_rows(3, A, 4);
    make_mail(A, "1.eml");
    sql_to_tree();
    ASSERT_EQ(ip_cur_change_store, static_cast<guint>(-1));
    dialog_script script;
    script.responses = {GTK_RESPONSE_OK};
    script_dialogs(script);
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_del));
    EXPECT_TRUE(script.shown.empty());
    EXPECT_EQ(table_rows(), 3);
    EXPECT_TRUE(fs::exists(router_mail_path(A) / "1.eml"));
}

TEST_F(Alias, DeletingATypeRowRemovesOnlyThatTypeOfThatRouter)
{
    NEED_DB();
    store_rows(3, A, 4);
    store_rows(2, A, 1);
    store_rows(2, B, 4);
    make_mail(A, "1.eml");
    sql_to_tree();
    set_tree_cursor("0:0");  // A, type 4
    ASSERT_EQ(type_cur_change_store, 4u);

    dialog_script cancel;
    cancel.responses = {GTK_RESPONSE_CANCEL};
    script_dialogs(cancel);
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_del));
    EXPECT_EQ(cancel.shown, (std::vector<std::string> {"确实要删除吗"}));
    EXPECT_EQ(table_rows(), 7);

    dialog_script ok;
    ok.responses = {GTK_RESPONSE_OK};
    script_dialogs(ok);
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_del));
    EXPECT_EQ(ok.shown.size(), 1u);
    EXPECT_EQ(rows_where("dwIP = 16885952 and dwLogType = 4"), 0);
    EXPECT_EQ(rows_where("dwIP = 16885952 and dwLogType = 1"), 2);
    EXPECT_EQ(rows_where("dwIP = 33663168 and dwLogType = 4"), 2);
    EXPECT_TRUE(fs::exists(router_mail_path(A) / "1.eml"));
    EXPECT_EQ(dump_tree(), (std::vector<std::string> {"192.168.1.1 2", "  1 2", "192.168.1.2 2", "  4 2"}));
    // The remembered row survives the rebuild.
    EXPECT_EQ(ip_cur_change_store, A);
    EXPECT_EQ(type_cur_change_store, 4u);
}

TEST_F(Alias, DeletingARouterRowRemovesAllItsRecordsAndItsMailFiles)
{
    NEED_DB();
    store_rows(3, A, 4);
    store_rows(2, A, 1);
    store_rows(2, B, 4);
    make_mail(A, "1.eml");
    make_mail(A, "2.eml");
    fs::create_directories(router_mail_path(A) / "attach");
    make_mail(B, "3.eml");
    sql_to_tree();
    rename_via_dialog(B, "branch B");
    set_tree_cursor("0");

    language_nu = 2;
    dialog_script ok;
    ok.responses = {GTK_RESPONSE_DELETE_EVENT};  // closing the box confirms
    script_dialogs(ok);
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_del));
    EXPECT_EQ(ok.shown, (std::vector<std::string> {"確實要刪除嗎"}));
    EXPECT_EQ(rows_where("dwIP = 16885952"), 0);
    EXPECT_EQ(rows_where("dwIP = 33663168"), 2);
    EXPECT_FALSE(fs::exists(router_mail_path(A) / "1.eml"));
    EXPECT_FALSE(fs::exists(router_mail_path(A) / "2.eml"));
    EXPECT_TRUE(fs::exists(router_mail_path(A) / "attach"));
    EXPECT_TRUE(fs::exists(router_mail_path(B) / "3.eml"));
    EXPECT_EQ(dump_tree(), (std::vector<std::string> {"branch B 2", "  4 2"}));
}

TEST_F(Alias, DeletingAnEmailRowRemovesOnlyItsMailFiles)
{
    NEED_DB();
    store_rows(2, A, 4);
    make_mail(A, "1.eml");
    make_mail(B, "2.eml");
    sql_to_tree();
    tagCommunicationData_ mail = record(A, 144);  // as the mail intake adds it
    add_to_tree(&mail);
    set_tree_cursor("0:1");
    ASSERT_EQ(type_cur_change_store, 144u);
    std::vector<guint> told;
    popup_on_mails_deleted([&told](guint ip) { told.push_back(ip); });

    dialog_script ok;
    ok.responses = {GTK_RESPONSE_OK};
    script_dialogs(ok);
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_del));
    EXPECT_EQ(ok.shown.size(), 1u);
    EXPECT_EQ(table_rows(), 2);
    EXPECT_FALSE(fs::exists(router_mail_path(A) / "1.eml"));
    EXPECT_TRUE(fs::exists(router_mail_path(B) / "2.eml"));
    EXPECT_EQ(told, (std::vector<guint> {A}));
    EXPECT_EQ(dump_tree(), (std::vector<std::string> {"192.168.1.1 2", "  4 2"}));
}

TEST_F(Alias, MenusFollowTheLanguage)
{
    EXPECT_EQ(menu_label(popup_del), "删除当前项所有数据");
    EXPECT_EQ(menu_label(popup_change_name), "设置别名");
    EXPECT_EQ(menu_label(popup_reverse), "反向源ip");
    change_en_popup_menu();
    change_en_popup_reverse();
    EXPECT_EQ(menu_label(popup_del), "delete all the item in the selected");
    EXPECT_EQ(menu_label(popup_change_name), "rename");
    EXPECT_EQ(menu_label(popup_reverse), "reverse source ip");
    change_fanti_popup_menu();
    change_fanti_popup_reverse();
    EXPECT_EQ(menu_label(popup_del), "刪除當前項所有數據");
    EXPECT_EQ(menu_label(popup_change_name), "設置別名");
    EXPECT_EQ(menu_label(popup_reverse), "反向源ip");
    change_chinese_popup_menu();
    change_chinese_popup_reverse();
    EXPECT_EQ(menu_label(popup_del), "删除当前项所有数据");
    EXPECT_EQ(menu_label(popup_reverse), "反向源ip");
}

TEST_F(Alias, ReverseTwiceWritesOneRecordThenNone)
{
    NEED_DB();
    stored_row r;
    r.content = "nat_rule changed";
    ASSERT_TRUE(store_row(r));
    sql_to_list(r.ip, 128);
    set_list_cursor(0);
    ASSERT_EQ(select_id_list, 1u);
    EXPECT_TRUE(right_click(treeview_list, click_tree_list));
    gtk_menu_popdown(GTK_MENU(menu_popup_reverse));
    EXPECT_EQ(select_id_list, 1u);  // the click left the cursor alone

    gtk_menu_item_activate(GTK_MENU_ITEM(popup_reverse));
    EXPECT_EQ(read_file(REVERSE_FILE), "nat_rule" + std::string(292, '\0'));
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_reverse));
    EXPECT_TRUE(fs::exists(REVERSE_FILE));
    EXPECT_EQ(read_file(REVERSE_FILE).size(), 0u);
}

TEST_F(Alias, ReverseWithoutARecordUnderTheCursorDoesNothing)
{
    NEED_DB();
    stored_row r;
    r.content = "nat_rule changed";
    ASSERT_TRUE(store_row(r));
    ASSERT_EQ(select_id_list, static_cast<guint>(-1));
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_reverse));
    EXPECT_FALSE(fs::exists(REVERSE_FILE));
    EXPECT_EQ(reverse_list_size(), 0u);
}

TEST_F(Alias, ReversedKeyShowsOnTheNextPageLoadWhileTheFilterStillFindsTheAddress)
{
    NEED_DB();
    stored_row r;
    r.source = 0x0A000001;  // 10.0.0.1
    r.content = "nat_rule changed";
    ASSERT_TRUE(store_row(r));
    r.content = "dhcp lease";
    ASSERT_TRUE(store_row(r));
    sql_to_tree();
    set_tree_cursor("0");
    // Both have the same time: find the nat_rule row (id 1) by its id.
    std::vector<std::string> sources = list_texts(LIST_COL_SOURCE);
    EXPECT_EQ(sources, (std::vector<std::string> {"10.0.0.1", "10.0.0.1"}));
    int nat_row = -1;
    GtkTreeModel* m = GTK_TREE_MODEL(store_list);
    GtkTreeIter it;
    int i = 0;
    for (gboolean ok = gtk_tree_model_get_iter_first(m, &it); ok; ok = gtk_tree_model_iter_next(m, &it), ++i) {
        guint id = 0;
        gtk_tree_model_get(m, &it, LIST_COL_ID, &id, -1);
        if (id == 1)
            nat_row = i;
    }
    ASSERT_GE(nat_row, 0);
    set_list_cursor(nat_row);
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_reverse));
    // Rows already shown keep their rendering.
    EXPECT_EQ(list_texts(LIST_COL_SOURCE), sources);

    set_tree_cursor("0");  // the next page load
    std::vector<std::string> after = list_texts(LIST_COL_SOURCE);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[static_cast<std::size_t>(nat_row)], "1.0.0.10");
    EXPECT_EQ(after[static_cast<std::size_t>(1 - nat_row)], "10.0.0.1");

    // The filter compares the stored address: 10.0.0.1 still finds the row.
    filter_inputs in;
    in.base = sql_cmd_filter;
    in.source_ip = "10.0.0.1";
    std::string stmt = filter_statement(in, mysql);
    EXPECT_EQ(get_sql_counter(stmt), 2);
    in.source_ip = "1.0.0.10";
    EXPECT_EQ(get_sql_counter(filter_statement(in, mysql)), 0);
    in.source_ip = "10.0.0.1";
    reset_page();
    std::string paged = filter_statement(in, mysql);
    sql_get_page(paged);
    guint counter = 0;
    sql_to_list_cmd(paged, &counter);
    EXPECT_EQ(counter, 2u);
    std::vector<std::string> filtered = list_texts(LIST_COL_SOURCE);
    std::sort(filtered.begin(), filtered.end());
    EXPECT_EQ(filtered, (std::vector<std::string> {"1.0.0.10", "10.0.0.1"}));
}

TEST_F(Alias, ReverseItemIsInsensitiveWhileAnExportRuns)
{
    NEED_DB();
    stored_row r;
    r.content = "nat_rule changed";
    ASSERT_TRUE(store_row(r));
    sql_to_list(r.ip, 128);
    set_list_cursor(0);
    set_reverse_item_sensitive(FALSE);
    EXPECT_FALSE(gtk_widget_get_sensitive(popup_reverse));
    // Even an activation that bypasses the menu changes nothing.
    menu_reverse(GTK_MENU_ITEM(popup_reverse), nullptr);
    EXPECT_EQ(reverse_list_size(), 0u);
    EXPECT_FALSE(fs::exists(REVERSE_FILE));

    set_reverse_item_sensitive(TRUE);
    EXPECT_TRUE(gtk_widget_get_sensitive(popup_reverse));
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_reverse));
    EXPECT_EQ(reverse_list_size(), 1u);
}

TEST_F(Alias, ReverseFileIsLoadedWhenTheListIsBuilt)
{
    gtk_widget_destroy(win);
    write_file(REVERSE_FILE, "nat_rule" + std::string(292, '\0') + "dhcp" + std::string(296, '\0'));
    init_tree_2();
    InitTreeView();
    win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    ASSERT_EQ(reverse_list_size(), 2u);
    EXPECT_STREQ(Find_list("dhcp"), "dhcp");
    release_list();
    EXPECT_EQ(Find_list("dhcp"), nullptr);
}
