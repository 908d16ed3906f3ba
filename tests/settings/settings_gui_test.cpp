#include "base/config.h"
#include "base/language.h"
#include "gui/message_box.h"
#include "settings/setup_wnd_popup.h"
#include "settings/sql_pass_wnd.h"
#include "support/config_record.h"
#include "support/gui_support.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using texts = std::vector<std::string>;

std::string config_with(const char* ip, const char* user, const char* pass, const char* port,
                        const char* udp)
{
    return bytes_of(config_of(ip, user, pass, port, udp));
}

class Settings : public ::testing::Test {
protected:
    void SetUp() override { ensure_gtk(); }
    void TearDown() override { stop_scripting_dialogs(); }

    // Runs `open`; its dialog `*dialog` is answered `response` after `edit`
    // ran on it, any other dialog OK and recorded in `notices`. Returns the
    // dialog's label texts.
    texts run(
        void (*open)(), GtkWidget** dialog, int response, const std::function<void()>& edit = [] {})
    {
        texts labels;
        set_dialog_answerer([&](GtkDialog* d) {
            if (GTK_WIDGET(d) != *dialog) {
                notices.push_back(dialog_message(d));
                return static_cast<int>(GTK_RESPONSE_OK);
            }
            labels = label_texts(GTK_WIDGET(d));
            edit();
            return response;
        });
        open();
        return labels;
    }
    texts notices;
    scratch_dir dir_;
};

}  // namespace

TEST_F(Settings, StartUpDialogSpeaksTheSystemLanguageAndQuitWritesNothing)
{
    // The message on top and the quit button (cancel first) tell the language.
    const std::pair<unsigned, texts> cases[] = {
        {1028, {"不能打開數據庫，請重新設置", "退出程序"}},
        {3076, {"set mysql password", "exit"}},
    };
    for (const auto& [id, expected] : cases) {
        lang_sys = id;
        const texts labels = run(create_password, &dialog_log, GTK_RESPONSE_CANCEL);
        ASSERT_GE(labels.size(), 4u);
        EXPECT_EQ((texts {labels.front(), labels.end()[-2]}), expected) << id;
        EXPECT_EQ(b_exit, 88);
        EXPECT_EQ(dialog_log, nullptr) << "no pointer to the destroyed dialog is kept";
    }
    EXPECT_FALSE(std::filesystem::exists(CONFIG_FILE));
}

TEST_F(Settings, StartUpDialogSavesTheEntriesOrKeepsThemInUseWhenItCannot)
{
    lang_sys = 2052;
    write_file(CONFIG_FILE, config_with("127.0.0.1", "root", "wrong", "3307", "20001"));
    // The fields not edited are saved as shown.
    run(create_password, &dialog_log, GTK_RESPONSE_OK, [] {
        gtk_entry_set_text(GTK_ENTRY(edit3_setup_log), "right");
        gtk_entry_set_text(GTK_ENTRY(edit1_setup_log), std::string(120, 'h').c_str());
    });
    EXPECT_EQ(b_exit, 87);
    EXPECT_EQ(read_file(CONFIG_FILE),
              config_with(std::string(98, 'h').c_str(), "root", "right", "3307", "20001"));
    EXPECT_TRUE(notices.empty());

    // "config" neither readable nor replaceable: the entries stay in use, and
    // the next opening shows them rather than the file.
    std::filesystem::remove(CONFIG_FILE);
    std::filesystem::create_directories("config/x");
    run(create_password, &dialog_log, GTK_RESPONSE_OK,
        [] { gtk_entry_set_text(GTK_ENTRY(edit2_setup_log), "admin"); });
    EXPECT_EQ(notices, (texts {"设置不能保存，本次使用刚输入的设置"}));
    std::string shown;
    run(create_password, &dialog_log, GTK_RESPONSE_CANCEL,
        [&] { shown = gtk_entry_get_text(GTK_ENTRY(edit2_setup_log)); });
    EXPECT_EQ(shown, "admin");
    config_save_failed = false;
}

// The pop-up shows the file's values (a save keeps those not edited), the UDP
// port fixed. Cancel keeps the file; OK and closing by the window manager both
// save; a stored UDP port the receiver cannot use is saved as the port it
// listens on; a file of the wrong size gives empty database entries and the
// port the receiver reads from it.
TEST_F(Settings, PopUpSavesOnOkOrCloseOrSaysItCannot)
{
    language_nu = 1;
    const std::string whole = config_with("127.0.0.1", "root", "pw", "3306", "514");
    const std::string empty = config_with("", "", "", "3309", "514");
    const std::tuple<std::string, int, std::string> cases[] = {
        {whole, GTK_RESPONSE_CANCEL, whole},
        {whole, GTK_RESPONSE_DELETE_EVENT, config_with("127.0.0.1", "root", "pw", "3309", "514")},
        {config_with("127.0.0.1", "root", "", "3306", " 8080 "), GTK_RESPONSE_OK,
         config_with("127.0.0.1", "root", "", "3309", "8080")},
        {config_with("127.0.0.1", "root", "", "3306", "abc"), GTK_RESPONSE_OK,
         config_with("127.0.0.1", "root", "", "3309", "20000")},
        {whole + "x", GTK_RESPONSE_OK, empty},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& [stored, response, saved] = cases[i];
        write_file(CONFIG_FILE, stored);
        run(create_setup_pop, &dialog_setup_pop, response, [] {
            EXPECT_FALSE(gtk_widget_is_sensitive(edit5_setup_pop));
            gtk_entry_set_text(GTK_ENTRY(edit4_setup_pop), "3309");
        });
        EXPECT_EQ(b_exit_pop, response == GTK_RESPONSE_CANCEL ? 88 : 87) << "case " << i;
        EXPECT_EQ(read_file(CONFIG_FILE), saved) << "case " << i;
        EXPECT_EQ(dialog_setup_pop, nullptr);
    }
    EXPECT_TRUE(notices.empty());
    std::filesystem::remove(CONFIG_FILE);
    std::filesystem::create_directories("config/x");
    run(create_setup_pop, &dialog_setup_pop, GTK_RESPONSE_OK);
    EXPECT_EQ(notices, (texts {"can not save the settings"}));
}
