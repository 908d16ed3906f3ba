#include "app/main.h"
#include "app/menus.h"
#include "app/menus_2.h"
#include "app/toolbar.h"
#include "base/language.h"
#include "gui/message_box.h"
#include "support/gui_support.h"
#include "support/scratch_dir.h"
#include "support/startup_child.h"

#include <gtest/gtest.h>

#include <cstdio>

// Started in an English system: the missing modules are reported in order,
// the window is built and labelled in the system language, and the quit
// question ends the program only when confirmed.
TEST(Startup, InTheSystemLanguageReportsMissingModulesAndQuitsWhenConfirmed)
{
    scratch_dir dir;
    write_test_db_config();
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "en_US.UTF-8", 1);
    auto start = [] {
        set_dialog_answerer([](GtkDialog* d) {
            std::fprintf(stderr, "[%s]", dialog_message(d).c_str());
            return static_cast<int>(GTK_RESPONSE_OK);
        });
        start_up_and_exit([] {
            // Each failed check ends the child with its own status.
            auto check = [](bool ok, int status) {
                if (!ok)
                    _exit(status);
            };
            check(language_nu == 1, 10);
            check(gtk_widget_get_visible(toolbar) && !gtk_widget_get_visible(menubar_2), 11);
            check(!gtk_widget_get_sensitive(GTK_WIDGET(toolbar_item(TOOL_OPEN_RECV))), 12);
            check(std::string(gtk_window_get_title(GTK_WINDOW(window))) == "syslog", 13);
            static int asked = 0;
            set_dialog_answerer(
                [](GtkDialog*) { return ++asked == 1 ? GTK_RESPONSE_CANCEL : GTK_RESPONSE_OK; });
            func1(nullptr, nullptr);
            check(asked == 1 && gtk_main_level() == 1, 15);
            func1(nullptr, nullptr);
        });
    };
    // Status: 10 language, 11 bars, 12 open tool, 13 title, 15 the cancelled
    // quit question ended the main loop.
    EXPECT_EXIT(start(), ::testing::ExitedWithCode(0),
                "\\[err2\\]\\[err19\\]\\[err14\\]\\[err17\\]\\[err vc_excel\\]");
}
