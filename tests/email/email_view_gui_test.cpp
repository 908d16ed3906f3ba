// The e-mail view under Xvfb against the real companion modules and
// scripts: mails are delivered by Python's smtplib to the mail
// receiver module, reach the device tree through the program's hand-over,
// and are listed, shown, exported and deleted in a scratch working
// directory.

#include "app/language_switch.h"
#include "app/main.h"
#include "app/process_package.h"
#include "base/language.h"
#include "base/mail_records.h"
#include "base/utf16.h"
#include "browse/popup_menu.h"
#include "browse/tree2.h"
#include "companion/extern.h"
#include "email/button_wnd_email.h"
#include "email/email_attach_wnd.h"
#include "email/email_content.h"
#include "email/email_list.h"
#include "email/email_top_wnd.h"
#include "email/email_tree.h"
#include "email/menu_popup_email_attach.h"
#include "email/python_interface.h"
#include "gui/main_window.h"
#include "gui/message_box.h"
#include "modules/linux_extern/fake_opener.h"
#include "receive/udp_proc.h"
#include "support/gui_support.h"
#include "support/loopback.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const guint ROUTER = 0x0100007F;  // 127.0.0.1, the address the mails come from
const char* const ROUTER_DIR = "mail_save/127.0.0.1";

bool wait_until(const std::function<bool()>& done, int seconds = 20)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        while (gtk_events_pending())
            gtk_main_iteration_do(FALSE);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Counts of the router's row and of its e-mail row, -1 without one.
int router_count()
{
    GtkTreeIter router;
    if (tree_find_ip_2(ROUTER, &router) < 0)
        return -1;
    return static_cast<int>(cell_uint(GTK_TREE_MODEL(store), &router, TREE_COL_COUNT));
}

int email_row_count()
{
    GtkTreeIter router, child;
    if (tree_find_ip_2(ROUTER, &router) < 0 || tree_find_type(LOG_TYPE_EMAIL, &router, &child) < 0)
        return -1;
    return static_cast<int>(cell_uint(GTK_TREE_MODEL(store), &child, TREE_COL_COUNT));
}

void select_tree_row(guint ip, guint type)
{
    GtkTreeIter router, child;
    ASSERT_GE(tree_find_ip_2(ip, &router), 0);
    GtkTreeIter* row = &router;
    if (type != LOG_TYPE_ROUTER) {
        ASSERT_GE(tree_find_type(type, &router, &child), 0);
        row = &child;
    }
    GtkTreePath* path = gtk_tree_model_get_path(GTK_TREE_MODEL(store), row);
    // The cursor goes only to a row on screen.
    gtk_tree_view_expand_to_path(GTK_TREE_VIEW(treeview), path);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(treeview), path, nullptr, FALSE);
    gtk_tree_path_free(path);
}

struct shown_row {
    unsigned number;
    std::string sender, subject, time, path, recipients;
};

std::vector<shown_row> shown_rows()
{
    std::vector<shown_row> out;
    GtkTreeModel* m = GTK_TREE_MODEL(store_email_title);
    GtkTreeIter it;
    for (gboolean ok = gtk_tree_model_get_iter_first(m, &it); ok;
         ok = gtk_tree_model_iter_next(m, &it)) {
        guint n = 0;
        gchar *s = nullptr, *j = nullptr, *t = nullptr, *p = nullptr, *r = nullptr;
        gtk_tree_model_get(m, &it, EMAIL_COL_NUMBER, &n, EMAIL_COL_SENDER, &s, EMAIL_COL_SUBJECT,
                           &j, EMAIL_COL_TIME, &t, EMAIL_COL_PATH, &p, EMAIL_COL_RECIPIENTS, &r,
                           -1);
        out.push_back({n, s ? s : "", j ? j : "", t ? t : "", p ? p : "", r ? r : ""});
        g_free(s), g_free(j), g_free(t), g_free(p), g_free(r);
    }
    return out;
}

std::vector<unsigned> numbers()
{
    return column_uints(GTK_TREE_MODEL(store_email_title), EMAIL_COL_NUMBER);
}

std::vector<unsigned> range(unsigned from, unsigned to)
{
    std::vector<unsigned> out;
    for (unsigned v = from; v <= to; ++v)
        out.push_back(v);
    return out;
}

GtkTreeSelection* title_sel()
{
    return gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_email_tile));
}

// Selects the header rows at these indices; the last one gets the cursor,
// which shows its body and attachments.
void select_title_rows(std::initializer_list<int> rows)
{
    gtk_tree_selection_unselect_all(title_sel());
    if (rows.size() == 0)
        return;
    // Moving the cursor selects its row alone, so it goes first.
    GtkTreePath* last = gtk_tree_path_new_from_indices(*(rows.end() - 1), -1);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(treeview_email_tile), last, nullptr, FALSE);
    gtk_tree_path_free(last);
    for (int r : rows) {
        GtkTreePath* p = gtk_tree_path_new_from_indices(r, -1);
        gtk_tree_selection_select_path(title_sel(), p);
        gtk_tree_path_free(p);
    }
}

std::vector<int> selected_rows()
{
    std::vector<int> out;
    for (int i = 0; i < static_cast<int>(shown_rows().size()); ++i) {
        GtkTreePath* p = gtk_tree_path_new_from_indices(i, -1);
        if (gtk_tree_selection_path_is_selected(title_sel(), p))
            out.push_back(i);
        gtk_tree_path_free(p);
    }
    return out;
}

int row_with_subject(const std::string& subject)
{
    auto rows = shown_rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].subject == subject)
            return static_cast<int>(i);
    return -1;
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

std::vector<std::string> attachment_names()
{
    std::vector<std::string> out;
    GtkTreeModel* m = GTK_TREE_MODEL(store_email_attach);
    GtkTreeIter it;
    for (gboolean ok = gtk_tree_model_get_iter_first(m, &it); ok;
         ok = gtk_tree_model_iter_next(m, &it))
        out.push_back(cell_text(m, &it, 0));
    return out;
}

void select_attachment(int index)
{
    GtkTreePath* p = gtk_tree_path_new_from_indices(index, -1);
    gtk_tree_selection_select_path(
        gtk_tree_view_get_selection(GTK_TREE_VIEW(treeview_email_attach)), p);
    gtk_tree_path_free(p);
}

gboolean press(GtkWidget* w, GdkEventType type, guint button,
               gboolean (*handler)(GtkWidget*, GdkEventButton*, gpointer), gpointer data)
{
    GdkEventButton ev {};
    ev.type = type;
    ev.button = button;
    ev.window = gtk_widget_get_window(w);
    ev.time = GDK_CURRENT_TIME;
    return handler(w, &ev, data);
}

// The attachment menu is on screen.
bool popped_up() { return gtk_widget_get_visible(gtk_widget_get_toplevel(menu_email_attach)); }

bool sensitive(GtkWidget* w) { return gtk_widget_get_sensitive(w); }
bool visible(GtkWidget* w) { return gtk_widget_get_visible(w); }

// Local time of a Unix time as the list shows times.
std::string local_text(std::time_t t)
{
    std::tm tm {};
    localtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::vector<std::string> files_in(const std::string& dir)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

int rebuilds = 0;

}  // namespace

// The main window with the real modules and scripts, the receiver on a
// port of its own, and the wiring start-up makes.
class EmailView : public ::testing::Test {
protected:
    scratch_dir dir;
    int port = 0;

    void SetUp() override
    {
        ensure_gtk();
        language_nu = 0;
        rebuilds = 0;
        chmod(dir.path().c_str(), 0755);
        for (const char* f : {"linux_extern.dll", "email_file.dll", "email_decode.dll",
                              "tcp_dll.dll", "my_email.py"})
            fs::create_symlink(fs::path(RUN_DIR) / f, f);
        fs::create_directories("mail_save");
        fs::create_directories("sent");
        port = free_port();
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
        std::string cmd = std::string(PYTHON3) + " " + SEND_MAILS + " " + std::to_string(port) +
            " " + scenario + " sent";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        ASSERT_TRUE(wait_until([&] { return email_row_count() == total; }))
            << "tree counts " << email_row_count();
    }

    void open_mail_view() { select_tree_row(ROUTER, LOG_TYPE_EMAIL); }
};

// The pane takes the log list's place only for the e-mail row; ten mails
// fill one page, an eleventh puts the oldest alone on page 2.
TEST_F(EmailView, PagesOfTenMails)
{
    EXPECT_FALSE(visible(vbox_top_email));
    deliver("plain:10", 10);
    open_mail_view();
    EXPECT_TRUE(visible(vbox_top_email));
    EXPECT_FALSE(visible(vpaned_3));
    EXPECT_EQ(numbers(), range(1, 10));
    EXPECT_FALSE(sensitive(button_next_email));
    EXPECT_FALSE(sensitive(button_pre_email));
    // Newest first: the tenth mail sent is row 1.
    auto rows = shown_rows();
    EXPECT_EQ(rows[0].subject, "mail 10");
    EXPECT_EQ(rows[0].sender, "Sender 10 <s10@example.test>");
    EXPECT_EQ(rows[0].recipients, "b@example.test ");
    EXPECT_EQ(rows[9].subject, "mail 1");

    deliver("plain:1", 11);
    select_tree_row(ROUTER, LOG_TYPE_ROUTER);
    EXPECT_FALSE(visible(vbox_top_email));
    EXPECT_TRUE(visible(vpaned_3));
    open_mail_view();
    EXPECT_EQ(numbers(), range(1, 10));
    EXPECT_TRUE(sensitive(button_next_email));
    gtk_button_clicked(GTK_BUTTON(button_next_email));
    EXPECT_EQ(current_pag_email, 1);
    EXPECT_EQ(numbers(), std::vector<unsigned> {11});
    EXPECT_EQ(shown_rows()[0].path, rows[9].path);
    EXPECT_FALSE(sensitive(button_next_email));
    EXPECT_TRUE(sensitive(button_pre_email));
    gtk_button_clicked(GTK_BUTTON(button_pre_email));
    EXPECT_EQ(numbers(), range(1, 10));
    EXPECT_FALSE(sensitive(button_pre_email));
    // Selecting the e-mail row again starts at the first page.
    gtk_button_clicked(GTK_BUTTON(button_next_email));
    select_tree_row(ROUTER, LOG_TYPE_ROUTER);
    open_mail_view();
    EXPECT_EQ(current_pag_email, 0);
    EXPECT_EQ(numbers(), range(1, 10));
}

TEST_F(EmailView, FifteenMailsTakeRowsElevenToFifteenFromTheScriptsAsTheModuleGives)
{
    deliver("varied", 15);
    open_mail_view();
    auto page1 = shown_rows();
    ASSERT_EQ(page1.size(), 10u);
    gtk_button_clicked(GTK_BUTTON(button_next_email));
    auto page2 = shown_rows();
    EXPECT_EQ(numbers(), range(11, 15));
    EXPECT_FALSE(sensitive(button_next_email));
    // Each row against both sources for its own file.
    for (const auto& rows : {page1, page2}) {
        for (const auto& r : rows) {
            SCOPED_TRACE(r.path);
            utf16_string wide = utf16_from_utf8(r.path);
            EXPECT_EQ(r.sender, email_header_from_module(wide, "From:"));
            EXPECT_EQ(r.subject, email_header_from_module(wide, "Subject:"));
            EXPECT_EQ(r.sender, email_sender_from_scripts(r.path));
            EXPECT_EQ(r.subject, email_subject_from_scripts(r.path));
        }
    }
    // Page 2 holds the five mails sent first, oldest last.
    EXPECT_EQ(page2[4].subject, "plain ascii");
    EXPECT_EQ(page2[2].subject, "中文主题 UTF-8");
}

// Mails under a UTF-8 and a GB18030 Chinese file name are listed by their
// paths and deleted together; the time is the file's modification time.
TEST_F(EmailView, ChineseNamedMailsAreListedShownAndDeleted)
{
    deliver("chinese", 1);
    const std::string path = std::string(ROUTER_DIR) + "/中文邮件.eml";
    fs::rename(std::string(ROUTER_DIR) + "/" + files_in(ROUTER_DIR).at(0), path);
    const std::time_t when = 1615000000;  // 2021-03-06, any time zone
    utimbuf times {when, when};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
    chmod(path.c_str(), 0600);  // moves the change time, not the modification time
    deliver("plain:1", 2);
    gchar* gb = g_convert("中文名.eml", -1, "GB18030", "UTF-8", nullptr, nullptr, nullptr);
    const std::string gb_path = std::string(ROUTER_DIR) + "/" + gb;
    g_free(gb);
    for (const std::string& name : files_in(ROUTER_DIR))
        if (name.ends_with(".eml") && name != "中文邮件.eml")
            fs::rename(std::string(ROUTER_DIR) + "/" + name, gb_path);
    rebuild_tree();

    open_mail_view();
    auto rows = shown_rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].path, gb_path);
    EXPECT_EQ(rows[0].subject, "mail 1");
    EXPECT_EQ(rows[1].path, path);
    EXPECT_EQ(rows[1].sender, "张三 <zhang@example.cn>");
    EXPECT_EQ(rows[1].subject, "中文主题");
    EXPECT_EQ(rows[1].time, local_text(when));

    select_title_rows({1});
    EXPECT_EQ(content_text(), "你好，这是中文正文。\n第二行\n");
    EXPECT_EQ(attachment_names(), std::vector<std::string> {"报告.bin"});

    dialog_script answers {{GTK_RESPONSE_OK}, {}};
    script_dialogs(answers);
    select_title_rows({0, 1});
    int before = rebuilds;
    gtk_button_clicked(GTK_BUTTON(button_del_email));
    ASSERT_EQ(answers.shown.size(), 1u);
    EXPECT_EQ(answers.shown[0], "确认删除吗");
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(gb_path));
    EXPECT_TRUE(shown_rows().empty());
    EXPECT_EQ(rebuilds, before + 1);
    EXPECT_EQ(email_row_count(), -1);
    EXPECT_EQ(content_text(), "");
    EXPECT_TRUE(attachment_names().empty());
}

TEST_F(EmailView, DeletingThreeRowsRemovesThreeFilesAndRebuildsOnce)
{
    deliver("plain:5", 5);
    open_mail_view();
    auto rows = shown_rows();
    ASSERT_EQ(rows.size(), 5u);
    gtk_button_clicked(GTK_BUTTON(button_sel_all_email));
    EXPECT_EQ(gtk_tree_selection_count_selected_rows(title_sel()), 5);
    select_title_rows({1, 3});
    gtk_button_clicked(GTK_BUTTON(button_reverse_all_email));
    EXPECT_EQ(selected_rows(), (std::vector<int> {0, 2, 4}));

    // Cancel leaves everything.
    dialog_script cancel {{GTK_RESPONSE_CANCEL}, {}};
    script_dialogs(cancel);
    gtk_button_clicked(GTK_BUTTON(button_del_email));
    EXPECT_EQ(shown_rows().size(), 5u);
    EXPECT_EQ(files_in(ROUTER_DIR).size(), 5u);
    EXPECT_EQ(rebuilds, 0);

    // Closing the box confirms.
    dialog_script close {{GTK_RESPONSE_DELETE_EVENT}, {}};
    script_dialogs(close);
    select_title_rows({0, 2, 4});
    gtk_button_clicked(GTK_BUTTON(button_del_email));
    EXPECT_EQ(rebuilds, 1);
    for (int i : {0, 2, 4})
        EXPECT_FALSE(fs::exists(rows[i].path)) << rows[i].path;
    EXPECT_EQ(files_in(ROUTER_DIR).size(), 2u);
    auto left = shown_rows();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].path, rows[1].path);
    EXPECT_EQ(left[1].path, rows[3].path);
    // The tree counts what is left; the pane stays.
    EXPECT_EQ(email_row_count(), 2);
    EXPECT_EQ(router_count(), 2);
    EXPECT_TRUE(visible(vbox_top_email));
}

TEST_F(EmailView, AFileThatCannotBeRemovedKeepsItsRowWithOneMessage)
{
    deliver("plain:3", 3);
    open_mail_view();
    auto rows = shown_rows();
    ASSERT_EQ(rows.size(), 3u);
    ASSERT_EQ(chmod(ROUTER_DIR, 0555), 0);
    // Root passes every permission; act as nobody for the deletion.
    bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(seteuid(65534), 0);
    }

    language_nu = 1;
    dialog_script answers {{GTK_RESPONSE_OK}, {}};
    script_dialogs(answers);
    select_title_rows({0, 1});
    gtk_button_clicked(GTK_BUTTON(button_del_email));
    if (root) {
        ASSERT_EQ(seteuid(0), 0);
    }
    chmod(ROUTER_DIR, 0755);

    EXPECT_EQ(shown_rows().size(), 3u);
    EXPECT_TRUE(fs::exists(rows[0].path));
    EXPECT_TRUE(fs::exists(rows[1].path));
    EXPECT_EQ(rebuilds, 0);
    ASSERT_EQ(answers.shown.size(), 2u);  // the question and one message
    EXPECT_EQ(answers.shown[1].rfind("2 mail(s) could not be deleted", 0), 0u) << answers.shown[1];
}

TEST_F(EmailView, BodiesAndAttachmentsAreShownAndExportedByTheMenu)
{
    deliver("content", 2);
    open_mail_view();
    int b64 = row_with_subject("base64 body");
    int seven = row_with_subject("7bit body");
    ASSERT_GE(b64, 0);
    ASSERT_GE(seven, 0);

    select_title_rows({seven});
    // A 7-bit body is shown as it is stored, up to its boundary.
    EXPECT_EQ(content_text().rfind("seven bit text\r\nsecond line\r\n", 0), 0u) << content_text();
    EXPECT_TRUE(attachment_names().empty());

    select_title_rows({b64});
    EXPECT_EQ(content_text(), "正文第一行 base64\nline two\n");
    EXPECT_EQ(attachment_names(), (std::vector<std::string> {"data.bin", "说明.txt"}));

    // Right click without a selected attachment: no menu.
    EXPECT_FALSE(
        press(treeview_email_attach, GDK_BUTTON_PRESS, 3, click_tree_attach, GINT_TO_POINTER(1)));
    EXPECT_FALSE(popped_up());

    // With one: the menu, and its item writes the file byte for byte.
    select_attachment(0);
    EXPECT_TRUE(
        press(treeview_email_attach, GDK_BUTTON_PRESS, 3, click_tree_attach, GINT_TO_POINTER(1)));
    EXPECT_TRUE(popped_up());
    gtk_menu_popdown(GTK_MENU(menu_email_attach));
    dialog_script answers {{GTK_RESPONSE_OK, GTK_RESPONSE_OK, GTK_RESPONSE_OK}, {}};
    script_dialogs(answers);
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_email_attach));
    EXPECT_EQ(read_file("mail_save/attach/data.bin"), read_file("sent/att-data.bin"));
    ASSERT_EQ(answers.shown.size(), 1u);
    EXPECT_EQ(answers.shown[0], "导出成功，放在 " + dir.path().string() + "/mail_save/attach/");

    // After a switch to English the item and the message are English.
    change_englist(nullptr, nullptr);
    EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(popup_email_attach)), "export attach");
    select_attachment(1);
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_email_attach));
    EXPECT_EQ(read_file("mail_save/attach/说明.txt"), "附件内容\n");
    ASSERT_EQ(answers.shown.size(), 2u);
    EXPECT_EQ(answers.shown[1], "export to: " + dir.path().string() + "/mail_save/attach/");

    // A file in the attachment folder's place: nothing written, and the message says so.
    fs::remove_all("mail_save/attach");
    write_file("mail_save/attach", "in the way");
    gtk_menu_item_activate(GTK_MENU_ITEM(popup_email_attach));
    ASSERT_EQ(answers.shown.size(), 3u);
    EXPECT_EQ(answers.shown[2].rfind("export failed", 0), 0u) << answers.shown[2];
}

TEST_F(EmailView, DoubleClicksOpenTheMailAndTheExportedAttachmentWithoutWaiting)
{
    fake_opener opener;
    deliver("content", 2);
    open_mail_view();
    // A name that a shell would take apart.
    const std::string mail = std::string(ROUTER_DIR) + "/a b; touch x $(id).eml";
    fs::rename(shown_rows()[row_with_subject("base64 body")].path, mail);
    show_email_head(ROUTER);
    int b64 = row_with_subject("base64 body");
    ASSERT_GE(b64, 0);
    ASSERT_EQ(shown_rows()[b64].path, mail);
    select_title_rows({b64});

    // A single click on an attachment does nothing.
    select_attachment(0);
    press(treeview_email_attach, GDK_BUTTON_PRESS, 1, click_tree_attach, GINT_TO_POINTER(1));
    EXPECT_FALSE(fs::exists("mail_save/attach/data.bin"));

    opener.reset();
    press(treeview_email_attach, GDK_2BUTTON_PRESS, 1, click_tree_attach, GINT_TO_POINTER(1));
    EXPECT_EQ(read_file("mail_save/attach/data.bin"), read_file("sent/att-data.bin"));
    EXPECT_EQ(opener.release_and_read(), "mail_save/attach/data.bin");
    EXPECT_EQ(opener.argc(), "1");

    opener.reset();
    press(treeview_email_tile, GDK_2BUTTON_PRESS, 1, click_tree_title, nullptr);
    EXPECT_EQ(opener.release_and_read(), mail);
    EXPECT_EQ(opener.argc(), "1");
    EXPECT_FALSE(fs::exists("x"));
}

TEST_F(EmailView, StoredMailIsInTheTreeAfterEveryRebuildAndTheTreeMenuEmptiesTheList)
{
    deliver("plain:3", 3);
    // What start-up does with a filled store.
    RemoveAll_tree();
    put_email_to_tree();
    EXPECT_EQ(email_row_count(), 3);
    EXPECT_EQ(router_count(), 3);
    rebuild_tree();
    EXPECT_EQ(email_row_count(), 3);

    open_mail_view();
    EXPECT_EQ(shown_rows().size(), 3u);
    // The tree menu's deletion of the router's mails.
    del_email_by_ip(ROUTER);
    EXPECT_TRUE(files_in(ROUTER_DIR).empty());
    EXPECT_TRUE(shown_rows().empty());
    EXPECT_EQ(email_row_count(), -1);
}
