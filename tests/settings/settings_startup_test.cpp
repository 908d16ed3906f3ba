#include "base/config.h"
#include "base/language.h"
#include "app/main.h"
#include "gui/message_box.h"
#include "settings/sql_pass_wnd.h"
#include "app/mysql_init.h"
#include "storage/mysql_ctrl.h"
#include "support/test_db.h"
#include "support/config_record.h"
#include "support/gui_support.h"
#include "support/scratch_dir.h"
#include "support/startup_child.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/wait.h>
#include <unistd.h>

namespace {

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
    }
    void TearDown() override
    {
        stop_scripting_dialogs();
        close_mysql();
    }
    scratch_dir dir_;
};

}  // namespace

TEST_F(StartUp, WrongPasswordAsksInTheSystemLanguageAndTheCorrectionConnects)
{
    const std::vector<std::pair<unsigned, std::string>> cases {
        {2052, "不能连接数据库，请检查数据库的ip地址和密码"},
        {1028, "不能連接數據庫，請檢查數據庫的IP地址和密碼"},
        {1033, "can not connect to mysql ,please set the sql ip and password"},
    };
    for (const auto& [id, message] : cases) {
        close_mysql();
        lang_sys = id;
        write_file(CONFIG_FILE, test_config("wrong"));
        std::vector<std::string> shown;
        std::string password_shown;
        set_dialog_answerer([&](GtkDialog* d) {
            if (GTK_WIDGET(d) != dialog_log) {
                shown.push_back(dialog_message(d));
                return static_cast<int>(GTK_RESPONSE_OK);
            }
            shown.push_back("<settings>");
            password_shown = gtk_entry_get_text(GTK_ENTRY(edit3_setup_log));
            gtk_entry_set_text(GTK_ENTRY(edit3_setup_log), "");
            return static_cast<int>(GTK_RESPONSE_OK);
        });
        init_mysql();
        EXPECT_EQ(shown, (std::vector<std::string> {message, "<settings>"})) << id;
        EXPECT_EQ(password_shown, "wrong");
        EXPECT_EQ(read_file(CONFIG_FILE), test_config(""));
        EXPECT_EQ(exe_sql("select 1 from LogTab limit 1"), 0);
        EXPECT_EQ(exe_sql_2("use LogDB"), 0);
    }
}

TEST_F(StartUp, UnwritableConfigStillConnectsWithTheValuesJustEntered)
{
    lang_sys = 1028;
    std::filesystem::create_directories("config/x");
    std::vector<std::string> shown;
    set_dialog_answerer([&](GtkDialog* d) {
        if (GTK_WIDGET(d) == dialog_log) {
            shown.push_back("<settings>");
            gtk_entry_set_text(GTK_ENTRY(edit1_setup_log), "127.0.0.1");
            gtk_entry_set_text(GTK_ENTRY(edit2_setup_log), "root");
            gtk_entry_set_text(GTK_ENTRY(edit4_setup_log),
                               test_db_env("LOGSERVER_TEST_DB_PORT").c_str());
        } else {
            shown.push_back(dialog_message(d));
        }
        return static_cast<int>(GTK_RESPONSE_OK);
    });
    init_mysql();
    EXPECT_EQ(shown,
              (std::vector<std::string> {"不能連接數據庫，請檢查數據庫的IP地址和密碼", "<settings>",
                                         "設置不能保存，本次使用剛輸入的設置"}));
    EXPECT_EQ(exe_sql("select 1 from LogTab limit 1"), 0);
    EXPECT_EQ(exe_sql_2("select 1 from LogTab limit 1"), 0);
}

TEST_F(StartUp, QuitInTheDialogEndsWithStatusZeroBeforeAnyWindowAndWritesNothing)
{
    const std::string stored = test_config("wrong");
    write_file(CONFIG_FILE, stored);
    const std::string marker = (dir_.path() / "window.txt").string();

    pid_t pid = fork();
    if (pid == 0) {
        alarm(60);
        static std::string marker_path = marker;
        std::atexit([] { std::ofstream(marker_path) << (window ? "window" : "no window"); });
        set_dialog_answerer([](GtkDialog* d) {
            return static_cast<int>(GTK_WIDGET(d) == dialog_log ? GTK_RESPONSE_CANCEL
                                                                : GTK_RESPONSE_OK);
        });
        char name[] = "logserver";
        char* argv[] = {name, nullptr};
        logserver_main(1, argv);
        _exit(5);  // start-up must not get past the dialog
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(read_file(marker), "no window");
    EXPECT_EQ(read_file(CONFIG_FILE), stored);
    EXPECT_FALSE(std::filesystem::exists("config.tmp"));
}
