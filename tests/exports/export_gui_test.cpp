// The export from the filter panel's button: the dialog, the notice, the
// worker and the completion message, each dialog answered by the test.
#include "support/gui_support.h"
#include "support/scratch_dir.h"
#include "support/xls_reader.h"
#include "support/browse_db.h"
#include "support/test_db.h"

#include "base/language.h"
#include "browse/button_wnd_list.h"
#include "browse/tree2.h"
#include "companion/extern.h"
#include "exports/export_job.h"
#include "exports/export_state.h"
#include "exports/export_wnd.h"
#include "filter/filter_wnd_2.h"
#include "gui/message_box.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr unsigned ROUTER = 0x0101A8C0;  // 192.168.1.1

// Answers the dialogs in turn; records what each showed.
struct answers {
    std::vector<std::function<int(GtkDialog*)>> steps;
    std::vector<std::string> shown;
};

void answer_with(answers& a)
{
    set_dialog_answerer([&a](GtkDialog* d) {
        const std::size_t i = a.shown.size();
        a.shown.push_back(dialog_message(d));
        return i < a.steps.size() ? a.steps[i](d) : GTK_RESPONSE_CANCEL;
    });
}

// The export dialog filled in and saved.
std::function<int(GtkDialog*)> fill(const std::string& name, bool pdf, bool excel,
                                    const std::string& folder = "")
{
    return [=](GtkDialog*) {
        gtk_entry_set_text(GTK_ENTRY(edit1_save_excel), name.c_str());
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check1_export), pdf);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check2_export), excel);
        if (!folder.empty())
            gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(chooser1), folder.c_str());
        pump_events();
        return GTK_RESPONSE_OK;
    };
}

std::function<int(GtkDialog*)> reply(int response)
{
    return [response](GtkDialog*) { return response; };
}

bool wait_for_end(int seconds = 120)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        pump_events();
        if (!export_running())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::set<std::string> files_in(const fs::path& dir)
{
    std::set<std::string> out;
    if (fs::exists(dir))
        for (const auto& e : fs::directory_iterator(dir))
            out.insert(e.path().filename().string());
    return out;
}

void store_some(unsigned n) { store_rows(n, ROUTER, 1); }

// Where the listener of the running state writes (null: nowhere).
std::vector<bool>* announced_to = nullptr;

class ExportGui : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ensure_gtk();
        // The Excel module, opened from the run directory as start-up does.
        const fs::path here = fs::current_path();
        fs::current_path(RUN_DIR);
        ASSERT_TRUE(init_vc_excel());
        fs::current_path(here);
        init_tree_2();
        init_button_wnd_list();
        init_filter_wnd();
        init_progress();
        export_on_running([](bool running) {
            if (announced_to)
                announced_to->push_back(running);
        });
    }

    void SetUp() override
    {
        REQUIRE_TEST_DB();
        ASSERT_TRUE(connect_test_db());
        language_nu = 0;
        sql_cmd_filter = list_statement(ROUTER, 128);
        for (GtkWidget* e : {edit1_filter, edit2_filter, edit3_filter})
            gtk_entry_set_text(GTK_ENTRY(e), "");
        gtk_widget_hide(vbox_top_progress);
        answer_with(script);
    }

    void TearDown() override
    {
        wait_for_end(30);
        stop_scripting_dialogs();
        export_record_hook = nullptr;
        language_nu = 0;
    }

    void click() { gtk_button_clicked(GTK_BUTTON(button3_filter)); }

    scratch_dir dir;
    answers script;
};

// The filter panel's content pattern picks rows 40 to 49.
TEST_F(ExportGui, WholeExportOfTheFilteredRowsWithCopyToTheChosenFolder)
{
    store_some(50);
    gtk_entry_set_text(GTK_ENTRY(edit3_filter), "row 4[0-9]");
    fs::create_directory("chosen");
    const std::string chosen = (dir.path() / "chosen").string();
    script.steps = {fill("gui report", true, true, chosen), reply(GTK_RESPONSE_OK),
                    reply(GTK_RESPONSE_CANCEL)};
    click();
    ASSERT_TRUE(wait_for_end());
    ASSERT_EQ(script.shown.size(), 3u);
    EXPECT_EQ(script.shown[2],
              "导出成功：放在你所选的目录,在文件夹 " + dir.path().string() + "/export/ 留有备份");

    const std::set<std::string> written = {"gui report.xls", "gui report.xls.pdf"};
    EXPECT_EQ(files_in("export"), written);
    EXPECT_EQ(files_in("chosen"), written);
    EXPECT_EQ(read_file("chosen/gui report.xls"), read_file("export/gui report.xls"));
    const xls_sheet got = read_xls("chosen/gui report.xls");
    ASSERT_TRUE(got.ok) << got.error;
    EXPECT_EQ(got.rows.size(), 11u);

    // Afterwards: the box hidden, the controls usable, the bar at the end.
    pump_events();
    EXPECT_FALSE(gtk_widget_get_visible(vbox_top_progress));
    EXPECT_TRUE(gtk_widget_is_sensitive(hbox_1_filter));
    EXPECT_TRUE(gtk_widget_is_sensitive(treeview));
    EXPECT_TRUE(gtk_widget_is_sensitive(hbox_button_list));
    EXPECT_DOUBLE_EQ(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(progress)), 1.0);
    EXPECT_EQ(name_excel, "gui report.xls");
    EXPECT_EQ(save_folder, chosen);
}

TEST_F(ExportGui, SecondExportCannotStartWhileOneRuns)
{
    store_some(10);
    std::vector<bool> announced;
    announced_to = &announced;
    std::atomic<bool> release {false};
    std::atomic<bool> holding {false};
    export_record_hook = [&](unsigned long long) {
        holding = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    script.steps = {fill("first", false, true), reply(GTK_RESPONSE_OK), reply(GTK_RESPONSE_CANCEL)};
    click();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!holding && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(holding);
    pump_events();

    EXPECT_TRUE(export_running());
    EXPECT_TRUE(gtk_widget_get_visible(vbox_top_progress));
    EXPECT_FALSE(gtk_widget_is_sensitive(hbox_1_filter));
    EXPECT_FALSE(gtk_widget_is_sensitive(button3_filter));
    EXPECT_FALSE(gtk_widget_is_sensitive(treeview));
    EXPECT_FALSE(gtk_widget_is_sensitive(hbox_button_list));
    EXPECT_EQ(announced, std::vector<bool> {true});
    // The handler itself refuses too: no dialog appears.
    click();
    button3_filter_clicked_thread(nullptr, nullptr);
    EXPECT_EQ(script.shown.size(), 2u);

    release = true;
    ASSERT_TRUE(wait_for_end());
    EXPECT_EQ(script.shown.size(), 3u);
    EXPECT_EQ(files_in("export"), std::set<std::string> {"first.xls"});
    EXPECT_TRUE(gtk_widget_is_sensitive(hbox_1_filter));
}

// Cancel, nothing ticked, an empty name and unsafe names export nothing;
// the last two say why in the current language.
TEST_F(ExportGui, RefusedExports)
{
    language_nu = 1;
    script.steps = {reply(GTK_RESPONSE_CANCEL), fill("x", false, false),   fill("", true, true),
                    reply(GTK_RESPONSE_OK),     fill("../up", true, true), reply(GTK_RESPONSE_OK)};
    for (int i = 0; i < 4; ++i)
        click();
    ASSERT_EQ(script.shown.size(), 6u);
    EXPECT_EQ(script.shown[3], "input name can not empty");
    EXPECT_NE(script.shown[5].find(".."), std::string::npos) << script.shown[5];
    EXPECT_FALSE(export_running());
    EXPECT_FALSE(fs::exists("export/x.xls"));
    EXPECT_FALSE(fs::exists(dir.path().parent_path() / "up.xls"));
}

}  // namespace
