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
#include <string>
#include <vector>

namespace {

struct seen_dialog {
    std::string title;
    std::vector<std::string> labels;  // every label, buttons' included (cancel first)
    std::vector<std::string> entries;
    bool udp_sensitive = true;
};

std::string entry_text(GtkWidget* e) { return e ? gtk_entry_get_text(GTK_ENTRY(e)) : "<none>"; }

std::string config_with(const char* ip, const char* user, const char* pass, const char* port,
                        const char* udp)
{
    return bytes_of(config_of(ip, user, pass, port, udp));
}

bool contains(const std::vector<std::string>& v, const std::string& s)
{
    return std::find(v.begin(), v.end(), s) != v.end();
}

// What the pop-up's five entries show.
void take_pop_entries(seen_dialog& s)
{
    s.entries = {entry_text(edit1_setup_pop), entry_text(edit2_setup_pop),
                 entry_text(edit3_setup_pop), entry_text(edit4_setup_pop),
                 entry_text(edit5_setup_pop)};
    s.udp_sensitive = gtk_widget_is_sensitive(edit5_setup_pop);
}

class Settings : public ::testing::Test {
protected:
    void SetUp() override { ensure_gtk(); }
    void TearDown() override { stop_scripting_dialogs(); }

    // Runs `open` with its dialog answered by `response` after `edit` ran on
    // it; notices shown afterwards are answered OK and recorded.
    template <class Open, class Edit>
    seen_dialog run(Open open, GtkWidget** dialog_global, int response, Edit edit)
    {
        seen_dialog seen;
        set_dialog_answerer([&](GtkDialog* d) {
            if (GTK_WIDGET(d) != *dialog_global) {
                notices.push_back(dialog_message(d));
                return static_cast<int>(GTK_RESPONSE_OK);
            }
            seen.title = gtk_window_get_title(GTK_WINDOW(d));
            seen.labels = label_texts(GTK_WIDGET(d));
            edit(seen);
            return response;
        });
        open();
        return seen;
    }
    std::vector<std::string> notices;
    scratch_dir dir_;
};

}  // namespace

TEST_F(Settings, StartUpDialogSpeaksTheSystemLanguageAndQuitWritesNothing)
{
    // The message on top and the quit button (cancel first) tell the language.
    const std::pair<unsigned, std::vector<std::string>> cases[] = {
        {2052, {"不能打开数据库，请重新设置", "退出程序"}},
        {1028, {"不能打開數據庫，請重新設置", "退出程序"}},
        {3076, {"set mysql password", "exit"}},
    };
    for (const auto& [id, expected] : cases) {
        lang_sys = id;
        seen_dialog seen =
            run(create_password, &dialog_log, GTK_RESPONSE_CANCEL, [](seen_dialog&) {});
        ASSERT_GE(seen.labels.size(), 4u);
        EXPECT_EQ((std::vector<std::string> {seen.labels.front(), seen.labels.end()[-2]}), expected)
            << id;
        EXPECT_EQ(b_exit, 88);
        EXPECT_EQ(dialog_log, nullptr) << "no pointer to the destroyed dialog is kept";
    }
    EXPECT_FALSE(std::filesystem::exists(CONFIG_FILE));
}

TEST_F(Settings, StartUpDialogShowsTheSavedValuesAndOkSavesTheEntries)
{
    lang_sys = 1033;
    write_file(CONFIG_FILE, config_with("127.0.0.1", "root", "wrong", "3307", "20001"));
    seen_dialog seen = run(create_password, &dialog_log, GTK_RESPONSE_OK, [](seen_dialog& s) {
        s.entries = {entry_text(edit1_setup_log), entry_text(edit2_setup_log),
                     entry_text(edit3_setup_log), entry_text(edit4_setup_log)};
        gtk_entry_set_text(GTK_ENTRY(edit3_setup_log), "right");
        gtk_entry_set_text(GTK_ENTRY(edit1_setup_log), std::string(120, 'h').c_str());
    });
    EXPECT_EQ(seen.entries, (std::vector<std::string> {"127.0.0.1", "root", "wrong", "3307"}));
    EXPECT_EQ(b_exit, 87);
    EXPECT_EQ(read_file(CONFIG_FILE),
              config_with(std::string(98, 'h').c_str(), "root", "right", "3307", "20001"));
    EXPECT_TRUE(notices.empty());
    EXPECT_FALSE(config_save_failed);
}

TEST_F(Settings, StartUpDialogThatCannotSaveSaysSoAndKeepsTheValues)
{
    lang_sys = 2052;
    std::filesystem::create_directories("config/x");  // neither readable nor replaceable
    run(create_password, &dialog_log, GTK_RESPONSE_OK,
        [](seen_dialog&) { gtk_entry_set_text(GTK_ENTRY(edit2_setup_log), "admin"); });
    EXPECT_EQ(notices, (std::vector<std::string> {"设置不能保存，本次使用刚输入的设置"}));
    EXPECT_TRUE(config_save_failed);
    EXPECT_STREQ(save_info.user, "admin");

    // The next opening shows what is in use, not what the file holds.
    seen_dialog again = run(create_password, &dialog_log, GTK_RESPONSE_CANCEL,
                            [](seen_dialog& s) { s.entries = {entry_text(edit2_setup_log)}; });
    EXPECT_EQ(again.entries, (std::vector<std::string> {"admin"}));
    config_save_failed = false;
}

TEST_F(Settings, PopUpOfAReadableConfigShowsItsValuesAndTheStoredUdpPort)
{
    language_nu = 1;
    const std::string stored = config_with("10.0.0.9", "logger", "pw", "3308", "514");
    write_file(CONFIG_FILE, stored);
    seen_dialog seen =
        run(create_setup_pop, &dialog_setup_pop, GTK_RESPONSE_CANCEL, take_pop_entries);
    EXPECT_EQ(seen.title, "setup");
    EXPECT_EQ(seen.entries, (std::vector<std::string> {"10.0.0.9", "logger", "pw", "3308", "514"}));
    EXPECT_FALSE(seen.udp_sensitive);
    EXPECT_EQ(b_exit_pop, 88);
    EXPECT_EQ(read_file(CONFIG_FILE), stored) << "cancel keeps the file as it was";
    EXPECT_EQ(dialog_setup_pop, nullptr);
}

TEST_F(Settings, PopUpClosedByTheWindowManagerSavesLikeSave)
{
    language_nu = 0;
    // The stored port is kept by the save; one the receiver cannot use is
    // saved as the port it listens on instead.
    for (auto [stored, saved] : {std::pair {"514", "514"}, {" 8080 ", "8080"}, {"abc", "20000"}}) {
        write_file(CONFIG_FILE, config_with("127.0.0.1", "root", "", "3306", stored));
        seen_dialog seen =
            run(create_setup_pop, &dialog_setup_pop, GTK_RESPONSE_DELETE_EVENT,
                [](seen_dialog&) { gtk_entry_set_text(GTK_ENTRY(edit4_setup_pop), "3309"); });
        EXPECT_TRUE(contains(seen.labels, "参数设置窗口"));
        EXPECT_EQ(b_exit_pop, 87);
        EXPECT_EQ(read_file(CONFIG_FILE), config_with("127.0.0.1", "root", "", "3309", saved))
            << stored;
    }
}

TEST_F(Settings, PopUpOfAConfigOfTheWrongSizeStartsEmpty)
{
    language_nu = 2;
    for (std::size_t size : {499u, 501u}) {
        std::string bytes = config_with("127.0.0.1", "root", "pw", "3306", "514");
        bytes.resize(size, 'x');
        write_file(CONFIG_FILE, bytes);
        seen_dialog seen =
            run(create_setup_pop, &dialog_setup_pop, GTK_RESPONSE_OK, take_pop_entries);
        EXPECT_EQ(seen.entries, std::vector<std::string>(5, "")) << size;
        EXPECT_TRUE(contains(seen.labels, "參數設置窗口"));
        // Saving then writes a whole record with an empty UDP port.
        EXPECT_EQ(read_file(CONFIG_FILE), config_with("", "", "", "", "")) << size;
    }
}

TEST_F(Settings, PopUpThatCannotSaveSaysSo)
{
    language_nu = 1;
    std::filesystem::create_directories("config/x");
    run(create_setup_pop, &dialog_setup_pop, GTK_RESPONSE_OK, [](seen_dialog&) {});
    EXPECT_EQ(notices, (std::vector<std::string> {"can not save the settings"}));
}
