// Aliases in the device tree, the alias dialog, the tree's pop-up menu with
// its deletions, and the record list's reversed-source menu, on the test
// display and the test database, each test in a scratch working directory.
// The files' formats are alias_core_test's business.
#include "browse/button_wnd_list.h"
#include "browse/menu_reverse_source_ip.h"
#include "browse/popup_menu.h"
#include "browse/rename.h"
#include "browse/rename_table.h"
#include "browse/set_list_data.h"
#include "email/python_interface.h"
#include "gui/message_box.h"
#include "storage/reverse_source.h"
#include "support/browse_window.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using strings = std::vector<std::string>;

namespace {

const unsigned A = 0x0101A8C0;  // 192.168.1.1
const unsigned B = 0x0201A8C0;  // 192.168.1.2
const unsigned C = 0x0301A8C0;  // 192.168.1.3

void activate(GtkWidget* item) { gtk_menu_item_activate(GTK_MENU_ITEM(item)); }

// Opens the alias dialog (through the tree menu's item, or for `ip`) and
// answers it with `text` and `response`, any later box with OK. Returns the
// dialog's address, then the boxes' texts.
strings alias_dialog(unsigned ip, const std::string& text, int response = GTK_RESPONSE_OK,
                     bool by_menu = false)
{
    strings shown;
    set_dialog_answerer([&](GtkDialog* dialog) {
        if (!shown.empty() || !edit2_rename) {
            shown.push_back(dialog_message(dialog));
            return static_cast<int>(GTK_RESPONSE_OK);
        }
        shown.push_back(gtk_entry_get_text(GTK_ENTRY(edit1_rename)));
        gtk_entry_set_text(GTK_ENTRY(edit2_rename), text.c_str());
        return response;
    });
    by_menu ? activate(popup_change_name) : create_rename_wnd(ip);
    stop_scripting_dialogs();
    return shown;
}

}  // namespace

class Alias : public browse_test {
protected:
    scratch_dir dir;  // the working directory: "rename", "reverse", "mail_save"

    GtkWidget* pane() override
    {
        clear_rename_table();
        // The script module deletes mail files, as in the run directory.
        fs::copy_file(fs::path(RUN_DIR) / "my_email.py", "my_email.py");
        init_python_1();
        // As start-up wires them.
        tree_on_router_row(rename_router_row);
        tree_on_rebuilt(rename_to_tree);
        tree_on_right_click(popup_menu_on_right_click);
        return gtk_label_new("filter");
    }
    void TearDown() override
    {
        if (win) {
            gtk_menu_popdown(GTK_MENU(menu_popup));
            gtk_menu_popdown(GTK_MENU(menu_popup_reverse));
        }
        browse_test::TearDown();
        set_source_reversed_test(nullptr);
        release_list();
    }
};

TEST_F(Alias, LoadedAtStartUpSetThroughTheMenuKeptOverRebuildsAndThe201stRefused)
{
    ASSERT_EQ(set_rename(B, "from the last run"), 0);
    ASSERT_EQ(write_rename_file(RENAME_FILE), 0);
    clear_rename_table();
    store_rows(1, A, 4);
    store_rows(1, B, 1);
    sql_to_tree();
    init_buf_rename();
    EXPECT_EQ(tree_rows(), (strings {"192.168.1.1 1", "  4 1", "from the last run 1", "  1 1"}));

    gtk_tree_view_expand_all(GTK_TREE_VIEW(treeview));
    for (const char* row : {"0:0", "0"}) {
        set_tree_cursor(row);
        EXPECT_TRUE(press(treeview, GDK_BUTTON_PRESS, 3, click_tree));
        EXPECT_EQ(gtk_widget_get_visible(popup_change_name), std::string(row) == "0")
            << "offered on router rows only: " << row;
        gtk_menu_popdown(GTK_MENU(menu_popup));
    }
    EXPECT_EQ(alias_dialog(A, "core router", GTK_RESPONSE_OK, true), strings {"192.168.1.1"});
    alias_dialog(A, "ignored", GTK_RESPONSE_CANCEL);
    alias_dialog(C, "router C");  // not in the tree yet
    add_record_to_tree(C, 5);
    EXPECT_EQ(tree_rows().at(4), "router C 1");
    store_rows(1, C, 3);
    rebuild_tree();
    EXPECT_EQ(tree_rows(),
              (strings {"core router 1", "  4 1", "from the last run 1", "  1 1", "router C 1",
                        "  3 1"}));
    alias_dialog(A, "", GTK_RESPONSE_DELETE_EVENT);  // closing applies
    EXPECT_EQ(tree_rows().at(0), "192.168.1.1 1");
    EXPECT_EQ(read_file(RENAME_FILE).substr(404, 4), "\xFF\xFF\xFF\xFF") << "written at once";

    for (unsigned i = 3; i < 200; ++i)
        ASSERT_EQ(set_rename(1000 + i, "r"), static_cast<int>(i));
    language_nu = 1;
    EXPECT_EQ(alias_dialog(0x0401A8C0, "one too many"),
              (strings {"192.168.1.4", "All 200 aliases are in use: no new alias can be set"}));
    EXPECT_EQ(alias_dialog(0x0401A8C0, "").size(), 1u) << "clearing needs no record: no message";
}

TEST_F(Alias, TreeMenuDeletionRemovesWhatTheRowStandsFor)
{
    static std::vector<guint> told;
    popup_on_mails_deleted([](guint ip) { told.push_back(ip); });
    const struct {
        const char* what;
        const char* cursor;  // nullptr: no row has had the cursor
        int answer;
        std::size_t questions;
        long long rows;         // left in the table
        std::size_t mails;      // files left
        const char* first_row;  // the tree is rebuilt from the table unless nothing was deleted
    } cases[] = {
        {"no cursor yet", nullptr, GTK_RESPONSE_OK, 0, 7, 3, "192.168.1.1 6"},
        {"cancelled", "0:0", GTK_RESPONSE_CANCEL, 1, 7, 3, "192.168.1.1 6"},
        {"type row", "0:0", GTK_RESPONSE_OK, 1, 4, 3, "192.168.1.1 2"},
        {"router row, closing confirms", "0", GTK_RESPONSE_DELETE_EVENT, 1, 2, 1, "192.168.1.2 2"},
        {"e-mail row", "0:2", GTK_RESPONSE_OK, 1, 7, 1, "192.168.1.1 5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(exe_sql("truncate table LogTab"), 0);
        store_rows(3, A, 4);
        store_rows(2, A, 1);
        store_rows(2, B, 4);
        for (const char* m : {"192.168.1.1/1.eml", "192.168.1.1/2.eml", "192.168.1.2/3.eml"}) {
            fs::create_directories(fs::path("mail_save" / fs::path(m)).parent_path());
            write_file(std::string("mail_save/") + m, "Subject: x\r\n\r\nbody\r\n");
        }
        RemoveAll_tree();
        sql_to_tree();
        add_record_to_tree(A, 144);  // as the mail intake adds it
        gtk_tree_view_expand_all(GTK_TREE_VIEW(treeview));
        ip_cur_change_store = static_cast<guint>(-1);
        if (c.cursor)
            set_tree_cursor(c.cursor);
        told.clear();
        dialog_script script {{c.answer}, {}};
        script_dialogs(script);
        activate(popup_del);
        stop_scripting_dialogs();

        EXPECT_EQ(script.shown.size(), c.questions);
        EXPECT_EQ(table_rows(), c.rows);
        std::size_t mails = 0;
        for (const auto& e : fs::recursive_directory_iterator("mail_save"))
            mails += e.is_regular_file();
        EXPECT_EQ(mails, c.mails);
        EXPECT_EQ(told, c.mails < 3 ? std::vector<guint> {A} : std::vector<guint> {});
        EXPECT_EQ(tree_rows().at(0), c.first_row);
    }
}

// The deletion is refused while LogTab is read-locked here, and stopped at its
// time limit while another connection holds it write-locked: either way the
// records, the mail file, the tree and the list stay, and the box says why.
TEST_F(Alias, DeletionsTheServerRefusesOrStopsLeaveEverythingAndSayWhy)
{
    const char* const refused = "删除记录失败,仍显示的记录未删除";
    store_rows(3, A, 4);
    fs::create_directories("mail_save/192.168.1.1");
    write_file("mail_save/192.168.1.1/1.eml", "Subject: x\r\n\r\nbody\r\n");
    sql_to_tree();
    set_tree_cursor("0");
    auto answered = [](GtkWidget* item) {
        dialog_script script {{GTK_RESPONSE_OK, GTK_RESPONSE_OK}, {}};
        script_dialogs(script);
        item == popup_del ? activate(item) : gtk_button_clicked(GTK_BUTTON(item));
        stop_scripting_dialogs();
        return script.shown;
    };

    ASSERT_EQ(exe_sql("lock tables LogTab read"), 0);
    EXPECT_EQ(answered(popup_del), (strings {"确实要删除吗", refused}));
    gtk_tree_selection_select_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_list)));
    EXPECT_EQ(answered(button_del_list), (strings {"确认删除吗", refused}));
    ASSERT_EQ(exe_sql("unlock tables"), 0);
    EXPECT_EQ(list_column(LIST_COL_NUMBER), (std::vector<unsigned> {1, 2, 3}));

    MYSQL* other = mysql_init(nullptr);
    ASSERT_TRUE(mysql_real_connect(other, "127.0.0.1", "root", nullptr, "LogDB",
                                   std::atoi(std::getenv("LOGSERVER_TEST_DB_PORT")), nullptr, 0));
    ASSERT_EQ(mysql_query(other, "lock tables LogTab write"), 0);
    delete_time_limit_s = 0.2;
    EXPECT_EQ(answered(popup_del),
              (strings {"确实要删除吗", "删除记录时间过长,已停止,仍显示的记录未删除"}));
    delete_time_limit_s = 300;
    mysql_close(other);

    EXPECT_EQ(table_rows(), 3);
    EXPECT_TRUE(fs::exists("mail_save/192.168.1.1/1.eml"));
    EXPECT_EQ(tree_rows().at(0), "192.168.1.1 3");
}

TEST_F(Alias, ReverseTwiceThenTheNextPageShowsIt)
{
    stored_row r;
    r.source = 0x0A000001;  // 10.0.0.1
    r.content = "nat_rule changed";
    ASSERT_TRUE(store_row(r));  // id 1
    r.content = "dhcp lease";
    r.time = 1;
    ASSERT_TRUE(store_row(r));  // id 2, listed first
    sql_to_tree();
    set_tree_cursor("0");
    activate(popup_reverse);
    EXPECT_FALSE(fs::exists(REVERSE_FILE)) << "no record under the cursor yet";
    set_tree_cursor("1", treeview_list);
    ASSERT_EQ(select_id_list, 1u);
    EXPECT_TRUE(press(treeview_list, GDK_BUTTON_PRESS, 3, click_tree_list));
    gtk_menu_popdown(GTK_MENU(menu_popup_reverse));
    activate(popup_reverse);
    EXPECT_EQ(read_file(REVERSE_FILE), "nat_rule" + std::string(292, '\0'));
    activate(popup_reverse);
    EXPECT_EQ(read_file(REVERSE_FILE), "");
    set_reverse_item_sensitive(FALSE);  // an export runs
    menu_reverse(GTK_MENU_ITEM(popup_reverse), nullptr);
    EXPECT_TRUE(reverse_list_entries().empty());
    set_reverse_item_sensitive(TRUE);
    activate(popup_reverse);
    EXPECT_EQ(reverse_list_entries(), strings {"nat_rule"});

    auto source_of_id_1 = [] {
        GtkTreeIter it;
        gtk_tree_model_get_iter_from_string(GTK_TREE_MODEL(store_list), &it, "1");
        return cell_text(GTK_TREE_MODEL(store_list), &it, LIST_COL_SOURCE);
    };
    EXPECT_EQ(source_of_id_1(), "10.0.0.1") << "rows shown keep their rendering";
    set_tree_cursor("0");  // the next page load
    EXPECT_EQ(source_of_id_1(), "1.0.0.10");
}
