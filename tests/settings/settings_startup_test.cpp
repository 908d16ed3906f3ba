#include "app/main.h"
#include "app/mysql_init.h"
#include "base/config.h"
#include "base/language.h"
#include "gui/message_box.h"
#include "settings/sql_pass_wnd.h"
#include "storage/mysql_ctrl.h"
#include "support/config_record.h"
#include "support/gui_support.h"
#include "support/scratch_dir.h"
#include "support/startup_child.h"
#include "support/test_db.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace {

using texts = std::vector<std::string>;

std::string test_config(const char* pass)
{
    return bytes_of(config_of("127.0.0.1", "root", pass, test_db_env("LOGSERVER_TEST_DB_PORT")));
}

class StartUp : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TEST_DB();
        ensure_gtk();
        // Nothing must be found by accident at the library's defaults.
        setenv("MYSQL_UNIX_PORT", (dir_.path() / "no-server.sock").c_str(), 1);
        // Every dialog is answered OK, the settings dialog after `edit` ran on
        // it; `shown` records "<settings>" or the message of each.
        set_dialog_answerer([this](GtkDialog* d) {
            shown.push_back(GTK_WIDGET(d) == dialog_log ? "<settings>" : dialog_message(d));
            if (GTK_WIDGET(d) == dialog_log)
                edit();
            return static_cast<int>(GTK_RESPONSE_OK);
        });
    }
    void TearDown() override
    {
        stop_scripting_dialogs();
        close_mysql();
    }
    texts shown;
    std::function<void()> edit;
    scratch_dir dir_;
};

}  // namespace

TEST_F(StartUp, WrongSettingsAskAndTheCorrectionConnectsSavedOrNot)
{
    lang_sys = 2052;
    write_file(CONFIG_FILE, test_config("wrong"));
    std::string password_shown;
    edit = [&] {
        password_shown = gtk_entry_get_text(GTK_ENTRY(edit3_setup_log));
        gtk_entry_set_text(GTK_ENTRY(edit3_setup_log), "");
    };
    init_mysql();
    EXPECT_EQ(shown, (texts {"不能连接数据库，请检查数据库的ip地址和密码", "<settings>"}));
    EXPECT_EQ(password_shown, "wrong");
    EXPECT_EQ(read_file(CONFIG_FILE), test_config(""));
    EXPECT_EQ(exe_sql("select 1 from LogTab limit 1"), 0);
    EXPECT_EQ(exe_sql_2("use LogDB"), 0);

    // "config" can be neither read nor replaced: the values just entered
    // still connect.
    close_mysql();
    shown.clear();
    lang_sys = 1028;
    std::filesystem::remove(CONFIG_FILE);
    std::filesystem::create_directories("config/x");
    edit = [] {
        gtk_entry_set_text(GTK_ENTRY(edit1_setup_log), "127.0.0.1");
        gtk_entry_set_text(GTK_ENTRY(edit2_setup_log), "root");
        gtk_entry_set_text(GTK_ENTRY(edit4_setup_log),
                           test_db_env("LOGSERVER_TEST_DB_PORT").c_str());
    };
    init_mysql();
    EXPECT_EQ(shown,
              (texts {"不能連接數據庫，請檢查數據庫的IP地址和密碼", "<settings>",
                      "設置不能保存，本次使用剛輸入的設置"}));
    EXPECT_EQ(exe_sql("select 1 from LogTab limit 1"), 0);
    EXPECT_EQ(exe_sql_2("select 1 from LogTab limit 1"), 0);
}

TEST_F(StartUp, QuitInTheDialogEndsWithStatusZeroBeforeAnyWindowAndWritesNothing)
{
    // The exit test forks here, so the child works in this scratch directory.
    const std::string stored = test_config("wrong");
    write_file(CONFIG_FILE, stored);
    EXPECT_EXIT(
        {
            std::atexit([] { std::fprintf(stderr, window ? "[window]" : "[no window]"); });
            set_dialog_answerer([](GtkDialog* d) {
                return static_cast<int>(GTK_WIDGET(d) == dialog_log ? GTK_RESPONSE_CANCEL
                                                                    : GTK_RESPONSE_OK);
            });
            start_up_and_exit();
        },
        ::testing::ExitedWithCode(0), "\\[no window\\]");
    EXPECT_EQ(read_file(CONFIG_FILE), stored);
    EXPECT_FALSE(std::filesystem::exists("config.tmp"));
}
