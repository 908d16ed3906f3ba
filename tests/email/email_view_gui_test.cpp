// The e-mail view under Xvfb against the real companion modules and
// scripts: mails are delivered by Python's smtplib to the mail receiver
// module, reach the device tree through the program's hand-over, and are
// listed, shown, exported and deleted in a scratch working directory.

#include "app/language_switch.h"
#include "app/main.h"
#include "app/process_package.h"
#include "base/language.h"
#include "browse/popup_menu.h"
#include "companion/extern.h"
#include "email/button_wnd_email.h"
#include "email/email_attach_wnd.h"
#include "email/email_content.h"
#include "email/email_list.h"
#include "email/email_top_wnd.h"
#include "email/email_tree.h"
#include "email/menu_popup_email_attach.h"
#include "email/python_interface.h"
#include "modules/linux_extern/fake_opener.h"
#include "modules/record_sink.h"
#include "receive/udp_proc.h"
#include "support/browse_window.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const guint ROUTER = 0x0100007F;  // 127.0.0.1, the address the mails come from
const std::string ROUTER_DIR = "mail_save/127.0.0.1/";

// The device tree when the router has `n` mails.
std::vector<std::string> tree_of(int n)
{
    return {"127.0.0.1 " + std::to_string(n), "  144 " + std::to_string(n)};
}

// "0" the router, "0:0" its e-mail row; the cursor goes only to a row on screen.
void select_tree_row(const char* row)
{
    gtk_tree_view_expand_all(GTK_TREE_VIEW(treeview));
    set_tree_cursor(row);
}

struct shown_row {
    std::string sender, subject, time, path, recipients;
};

std::vector<shown_row> shown_rows()
{
    std::vector<shown_row> out;
    GtkTreeModel* m = GTK_TREE_MODEL(store_email_title);
    GtkTreeIter it;
    for (gboolean ok = gtk_tree_model_get_iter_first(m, &it); ok;
         ok = gtk_tree_model_iter_next(m, &it)) {
        auto col = [&](int c) { return cell_text(m, &it, c); };
        out.push_back({col(EMAIL_COL_SENDER), col(EMAIL_COL_SUBJECT), col(EMAIL_COL_TIME),
                       col(EMAIL_COL_PATH), col(EMAIL_COL_RECIPIENTS)});
    }
    return out;
}

std::vector<unsigned> numbers()
{
    return column_uints(GTK_TREE_MODEL(store_email_title), EMAIL_COL_NUMBER);
}

// Puts the cursor on a header row: it alone is selected, and its body and
// attachments are shown.
void select_title_row(int row)
{
    GtkTreePath* p = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(treeview_email_tile), p, nullptr, FALSE);
    gtk_tree_path_free(p);
}

std::string content_text()
{
    GtkTextIter a, b;
    gtk_text_buffer_get_bounds(email_content_buffer, &a, &b);
    gchar* t = gtk_text_buffer_get_text(email_content_buffer, &a, &b, FALSE);
    std::string out = t;
    g_free(t);
    return out;
}

int attachments()
{
    return gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store_email_attach), nullptr);
}

// A click on the attachment list, with the user data its signal carries.
gboolean click_attach(GdkEventType type, guint button)
{
    GdkEventButton ev {};
    ev.type = type;
    ev.button = button;
    ev.window = gtk_widget_get_window(treeview_email_attach);
    return click_tree_attach(treeview_email_attach, &ev, GINT_TO_POINTER(1));
}

int rebuilds = 0;

}  // namespace

// The main window with the real modules and scripts, the receiver on a
// port of its own, and the wiring start-up makes.
class EmailView : public ::testing::Test {
protected:
    scratch_dir dir;
    int port = free_port();

    void SetUp() override
    {
        ensure_gtk();
        language_nu = 0;
        chmod(dir.path().c_str(), 0755);  // nobody must reach the mail folder
        for (const char* f : {"linux_extern.dll", "email_file.dll", "email_decode.dll",
                              "tcp_dll.dll", "my_email.py"})
            fs::create_symlink(fs::path(RUN_DIR) / f, f);
        fs::create_directories("mail_save");
        write_file("smtp_port", std::to_string(port) + "\n");

        ASSERT_TRUE(init_extern_func());
        ASSERT_TRUE(init_extern_func_2());
        ASSERT_TRUE(init_extern_func_3());
        ASSERT_EQ(init_python_1(), 0);
        set_record_processor(process_package);
        ASSERT_TRUE(init_extern_func_4(MyRecvProc_tcp));

        build_main_window();
        // What start-up connects after the window is built.
        tree_on_rebuilt([] {
            ++rebuilds;
            put_email_to_tree();
        });
        popup_on_mails_deleted(email_on_mails_deleted);
        pump_events();
    }

    void TearDown() override
    {
        stop_scripting_dialogs();
        if (window)
            gtk_widget_destroy(window);
    }

    // Delivers a scenario of send_view_mails.py and waits until the device
    // tree counts `total` mails of the router.
    void deliver(const std::string& scenario, int total)
    {
        std::string cmd =
            std::string(PYTHON3) + " " + SEND_MAILS + " " + std::to_string(port) + " " + scenario;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        ASSERT_TRUE(eventually([&] {
            pump_events();
            return tree_rows() == tree_of(total);
        }));
    }
};

// The pane takes the log list's place only for the e-mail row and lists ten
// mails a page, newest first; page 1 takes the headers from the module, later
// pages from the scripts, and both give the same text.
TEST_F(EmailView, TenMailsAPageWithTheSameHeadersFromModuleAndScripts)
{
    const std::vector<unsigned> first {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    deliver("plain:10", 10);
    select_tree_row("0:0");
    EXPECT_TRUE(gtk_widget_get_visible(vbox_top_email));
    EXPECT_FALSE(gtk_widget_get_visible(vpaned_3));
    EXPECT_EQ(numbers(), first);
    EXPECT_FALSE(gtk_widget_get_sensitive(button_next_email)) << "ten mails fill one page";
    EXPECT_FALSE(gtk_widget_get_sensitive(button_pre_email));
    auto rows = shown_rows();
    EXPECT_EQ(rows[0].subject, "mail 10");
    EXPECT_EQ(rows[0].recipients, "b@example.test ");

    deliver("varied", 19);
    select_tree_row("0");
    EXPECT_FALSE(gtk_widget_get_visible(vbox_top_email));
    EXPECT_TRUE(gtk_widget_get_visible(vpaned_3));
    select_tree_row("0:0");
    auto page1 = shown_rows();
    gtk_button_clicked(GTK_BUTTON(button_next_email));
    EXPECT_EQ(numbers(), (std::vector<unsigned> {11, 12, 13, 14, 15, 16, 17, 18, 19}));
    EXPECT_FALSE(gtk_widget_get_sensitive(button_next_email));
    EXPECT_TRUE(gtk_widget_get_sensitive(button_pre_email));
    auto page2 = shown_rows();
    EXPECT_EQ(page2.back().path, rows[9].path) << "the oldest mail comes last";
    for (const auto& page : {page1, page2}) {
        for (const auto& r : page) {
            SCOPED_TRACE(r.path);
            utf16_string wide = utf16_from_utf8(r.path);
            EXPECT_EQ(r.sender, email_header_from_module(wide, "From:"));
            EXPECT_EQ(r.subject, email_header_from_module(wide, "Subject:"));
            EXPECT_EQ(r.sender, email_sender_from_scripts(r.path));
            EXPECT_EQ(r.subject, email_subject_from_scripts(r.path));
        }
    }
    gtk_button_clicked(GTK_BUTTON(button_pre_email));
    EXPECT_EQ(numbers(), first);
    EXPECT_FALSE(gtk_widget_get_sensitive(button_pre_email));
    gtk_button_clicked(GTK_BUTTON(button_next_email));
    select_tree_row("0");
    select_tree_row("0:0");
    EXPECT_EQ(current_pag_email, 0) << "selecting the e-mail row again starts at page 1";
}

// Stored mail is in the tree after start-up; the deletion asks first, reports
// the files it could not remove, and rebuilds the tree once with what is left.
TEST_F(EmailView, SelectedMailsAreDeletedAfterTheQuestion)
{
    deliver("plain:5", 5);
    RemoveAll_tree();
    put_email_to_tree();  // what start-up does with a filled store
    EXPECT_EQ(tree_rows(), tree_of(5));
    select_tree_row("0:0");
    auto rows = shown_rows();
    ASSERT_EQ(rows.size(), 5u);
    select_title_row(1);
    gtk_button_clicked(GTK_BUTTON(button_reverse_all_email));  // all but row 1

    const int before = rebuilds;
    dialog_script answers {
        {GTK_RESPONSE_CANCEL, GTK_RESPONSE_OK, GTK_RESPONSE_OK, GTK_RESPONSE_DELETE_EVENT}, {}};
    script_dialogs(answers);
    gtk_button_clicked(GTK_BUTTON(button_del_email));
    EXPECT_EQ(shown_rows().size(), 5u) << "cancelled";

    ASSERT_EQ(chmod(ROUTER_DIR.c_str(), 0555), 0);
    // Root passes every permission; act as nobody for the deletion.
    const bool root = geteuid() == 0;
    ASSERT_TRUE(!root || seteuid(65534) == 0);
    language_nu = 1;
    gtk_button_clicked(GTK_BUTTON(button_del_email));
    ASSERT_TRUE(!root || seteuid(0) == 0);
    chmod(ROUTER_DIR.c_str(), 0755);
    EXPECT_EQ(shown_rows().size(), 5u) << "not removable";
    EXPECT_EQ(rebuilds, before);
    ASSERT_EQ(answers.shown.size(), 3u) << "one message after the question";
    EXPECT_EQ(answers.shown[2].rfind("4 mail(s) could not be deleted", 0), 0u) << answers.shown[2];

    gtk_button_clicked(GTK_BUTTON(button_del_email));  // closing the box confirms
    EXPECT_EQ(rebuilds, before + 1);
    auto left = shown_rows();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].path, rows[1].path);
    EXPECT_EQ(tree_rows(), tree_of(1));
    EXPECT_TRUE(gtk_widget_get_visible(vbox_top_email));

    del_email_by_ip(ROUTER);  // the tree menu's deletion
    EXPECT_TRUE(shown_rows().empty());
    EXPECT_TRUE(tree_rows().empty());
    for (const auto& r : rows)
        EXPECT_FALSE(fs::exists(r.path)) << r.path;
}

// Mails under a UTF-8 name that a shell would take apart and under a GB18030
// name; the time shown is the file's modification time.
TEST_F(EmailView, BodiesAndAttachmentsAreShownExportedAndOpened)
{
    fake_opener opener;
    deliver("content", 2);
    const std::string b64 = ROUTER_DIR + "中文 a b; touch x $(id).eml";
    const std::string seven = ROUTER_DIR + "\xd6\xd0\xce\xc4\xc3\xfb.eml";  // 中文名.eml in GB18030
    show_email_head(ROUTER);
    for (const auto& r : shown_rows())
        fs::rename(r.path, r.subject == "7bit body" ? seven : b64);
    const std::time_t when = 1615000000;  // 2021-03-06 in any time zone
    utimbuf times {when, when};
    ASSERT_EQ(utime(seven.c_str(), &times), 0);
    chmod(seven.c_str(), 0600);  // moves the change time, not the modification time
    select_tree_row("0:0");
    auto rows = shown_rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].path, b64);
    EXPECT_EQ(rows[1].path, seven);
    char when_text[32];
    std::strftime(when_text, sizeof when_text, "%Y-%m-%d %H:%M:%S", std::localtime(&when));
    EXPECT_EQ(rows[1].time, when_text);

    select_title_row(1);
    EXPECT_EQ(content_text().rfind("seven bit text\r\nsecond line\r\n", 0), 0u)
        << "a 7-bit body as stored, up to its boundary: " << content_text();
    EXPECT_EQ(attachments(), 0);
    select_title_row(0);
    EXPECT_EQ(content_text(), "正文第一行 base64\nline two\n");
    EXPECT_EQ(attachments(), 2);

    EXPECT_FALSE(click_attach(GDK_BUTTON_PRESS, 3)) << "no menu without a selected attachment";
    GtkTreePath* first = gtk_tree_path_new_from_indices(0, -1);
    gtk_tree_selection_select_path(
        gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_email_attach)), first);
    gtk_tree_path_free(first);
    click_attach(GDK_BUTTON_PRESS, 1);
    EXPECT_FALSE(fs::exists("mail_save/attach/data.bin")) << "a single click does nothing";
    click_attach(GDK_2BUTTON_PRESS, 1);
    EXPECT_EQ(read_file("mail_save/attach/data.bin"), read_file("att-data.bin"));
    EXPECT_EQ(opener.release_and_read(), "mail_save/attach/data.bin");
    opener.reset();
    press(treeview_email_tile, GDK_2BUTTON_PRESS, 1, click_tree_title);
    EXPECT_EQ(opener.release_and_read(), b64);

    fs::remove_all("mail_save/attach");
    EXPECT_TRUE(click_attach(GDK_BUTTON_PRESS, 3));
    EXPECT_TRUE(gtk_widget_get_visible(gtk_widget_get_toplevel(menu_email_attach)));
    gtk_menu_popdown(GTK_MENU(menu_email_attach));
    dialog_script answers {{GTK_RESPONSE_OK, GTK_RESPONSE_OK, GTK_RESPONSE_OK}, {}};
    script_dialogs(answers);
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_email_attach));
    ASSERT_EQ(answers.shown.size(), 1u);
    EXPECT_EQ(answers.shown[0], "导出成功，放在 " + dir.path().string() + "/mail_save/attach/");
    change_englist(nullptr, nullptr);
    EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(popup_email_attach)), "export attach");
    fs::remove_all("mail_save/attach");
    write_file("mail_save/attach", "in the way");
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_email_attach));
    ASSERT_EQ(answers.shown.size(), 2u);
    EXPECT_EQ(answers.shown[1].rfind("export failed", 0), 0u) << answers.shown[1];

    gtk_button_clicked(GTK_BUTTON(button_sel_all_email));
    gtk_button_clicked(GTK_BUTTON(button_del_email));
    EXPECT_FALSE(fs::exists(b64));
    EXPECT_FALSE(fs::exists(seven));
    EXPECT_EQ(content_text(), "");
    EXPECT_EQ(attachments(), 0);
}
