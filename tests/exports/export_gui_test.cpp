// The export from the filter panel's button: the dialog, the notice, the
// worker and the completion message, each dialog answered by the test. The
// workbooks' cells and the copying rules are export_job_test's business.
#include "support/browse_db.h"
#include "support/gui_support.h"
#include "support/scratch_dir.h"
#include "support/test_db.h"
#include "support/xls_reader.h"

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

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using step = std::function<int(GtkDialog*)>;

// The export dialog filled in and saved.
step fill(const std::string& name, bool pdf, bool excel, const std::string& folder = "")
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

step reply(int response)
{
    return [response](GtkDialog*) { return response; };
}

bool wait_for_end()
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
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
    for (const auto& e : fs::directory_iterator(dir))
        out.insert(e.path().filename().string());
    return out;
}

std::vector<bool> announced;  // what the listener of the running state heard

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
        export_on_running([](bool running) { announced.push_back(running); });
    }

    void SetUp() override
    {
        REQUIRE_TEST_DB();
        ASSERT_TRUE(connect_test_db());
        language_nu = 0;
        sql_cmd_filter = list_statement(0x0101A8C0, 128);
        gtk_widget_hide(vbox_top_progress);
        // Answers the dialogs in turn; records what each showed.
        set_dialog_answerer([this](GtkDialog* d) {
            const std::size_t i = shown.size();
            shown.push_back(dialog_message(d));
            return i < steps.size() ? steps[i](d) : GTK_RESPONSE_CANCEL;
        });
    }

    void TearDown() override
    {
        wait_for_end();
        stop_scripting_dialogs();
        export_record_hook = nullptr;
        language_nu = 0;
    }

    void click() { gtk_button_clicked(GTK_BUTTON(button3_filter)); }

    scratch_dir dir;
    std::vector<step> steps;
    std::vector<std::string> shown;
};

// The content pattern of the filter panel picks rows 40 to 49; the worker is
// held at its first record.
TEST_F(ExportGui, ExportOfTheFilteredRowsLocksTheControlsAndCopiesToTheChosenFolder)
{
    store_rows(50, 0x0101A8C0, 1);
    gtk_entry_set_text(GTK_ENTRY(edit3_filter), "row 4[0-9]");
    fs::create_directory("chosen");
    const std::string chosen = (dir.path() / "chosen").string();
    steps = {fill("gui report", true, true, chosen), reply(GTK_RESPONSE_OK),
             reply(GTK_RESPONSE_CANCEL)};
    std::promise<void> held, release;
    std::shared_future<void> released = release.get_future().share();
    export_record_hook = [&held, released, first = true](unsigned long long) mutable {
        if (first)
            held.set_value();
        first = false;
        released.wait();
    };
    click();
    ASSERT_EQ(held.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    pump_events();
    EXPECT_TRUE(gtk_widget_get_visible(vbox_top_progress));
    for (GtkWidget* w : {hbox_1_filter, button3_filter, treeview, hbox_button_list})
        EXPECT_FALSE(gtk_widget_is_sensitive(w));
    EXPECT_EQ(announced, std::vector<bool> {true});
    button3_filter_clicked_thread(nullptr, nullptr);
    EXPECT_EQ(shown.size(), 2u) << "the handler itself refuses: no dialog";

    release.set_value();
    ASSERT_TRUE(wait_for_end());
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[2],
              "导出成功：放在你所选的目录,在文件夹 " + dir.path().string() + "/export/ 留有备份");
    EXPECT_EQ(files_in("chosen"), (std::set<std::string> {"gui report.xls", "gui report.xls.pdf"}));
    const xls_sheet got = read_xls("chosen/gui report.xls");
    ASSERT_TRUE(got.ok) << got.error;
    EXPECT_EQ(got.rows.size(), 11u);

    pump_events();
    EXPECT_FALSE(gtk_widget_get_visible(vbox_top_progress));
    for (GtkWidget* w : {hbox_1_filter, treeview, hbox_button_list})
        EXPECT_TRUE(gtk_widget_is_sensitive(w));
    EXPECT_DOUBLE_EQ(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(progress)), 1.0);
}

TEST_F(ExportGui, RefusedExports)
{
    language_nu = 1;
    steps = {reply(GTK_RESPONSE_CANCEL), fill("x", false, false),   fill("", true, true),
             reply(GTK_RESPONSE_OK),     fill("../up", true, true), reply(GTK_RESPONSE_OK)};
    for (int i = 0; i < 4; ++i)
        click();
    ASSERT_EQ(shown.size(), 6u);
    EXPECT_EQ(shown[3], "input name can not empty");
    EXPECT_NE(shown[5].find(".."), std::string::npos) << shown[5];
    EXPECT_FALSE(export_running());
    EXPECT_FALSE(fs::exists("export/x.xls"));
}

}  // namespace
