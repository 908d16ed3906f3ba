#include "base/language.h"
#include "disk/disk_info.h"
#include "disk/disk_space.h"
#include "gui/message_box.h"
#include "support/gui_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <tuple>

namespace {

constexpr std::uint64_t MB = 1024;  // kilobytes

std::optional<std::uint64_t> g_reading;
int g_reads = 0, g_shown = 0;

std::string text(GtkWidget* label) { return gtk_label_get_text(GTK_LABEL(label)); }

// Builds the panel with `kilobytes` read at start; a dialog prints its message
// to standard error and is cancelled.
void start_panel(std::optional<std::uint64_t> kilobytes)
{
    ensure_gtk();
    set_dialog_answerer([](GtkDialog* dialog) {
        ++g_shown;
        std::fprintf(stderr, "shown:[%s]\n", dialog_message(dialog).c_str());
        return static_cast<int>(GTK_RESPONSE_CANCEL);
    });
    g_reading = kilobytes;
    disk_free_reader = [] {
        ++g_reads;
        return g_reading;
    };
    init_disk_info_show();
}

}  // namespace

// Built with one reading taken at once; each check shows the free megabytes
// and a state word in its colour, without a message above 200 MB. A language
// switch changes the state word at the next check.
TEST(DiskPanel, ChecksAtOnceShowsEachStateAndFollowsTheLanguageAtTheNextCheck)
{
    disk_name = "/srv/logs";
    start_panel(60000000);
    EXPECT_EQ(g_reads, 1);
    EXPECT_EQ(text(label_2_disk) + text(label_3_disk), "/srv/logs=58593M");
    const std::tuple<std::optional<std::uint64_t>, const char*, const char*, const char*> rows[] = {
        {1001 * MB, "1001M", "正常", DISK_BLUE},
        {1000 * MB, "1000M", "空间不足", DISK_RED},
        {200 * MB, "200M", "空间不足", DISK_RED},
        {std::nullopt, "?", "未知", DISK_GREY},  // a failed reading
    };
    for (const auto& [kilobytes, value, word, colour] : rows) {
        g_reading = kilobytes;
        EXPECT_TRUE(func1_disk(nullptr));
        EXPECT_EQ(text(label_3_disk), value);
        EXPECT_EQ(text(label_5_disk), word) << value;
        EXPECT_NE(std::string(gtk_label_get_label(GTK_LABEL(label_5_disk))).find(colour),
                  std::string::npos)
            << value;
    }
    EXPECT_EQ(g_shown, 0);

    change_en_disk();
    language_nu = 1;
    EXPECT_EQ(text(label_5_disk), "未知");
    func1_disk(nullptr);
    EXPECT_EQ(text(label_5_disk), "unknown");
}

// The first check, at start-up, is the one the timer repeats (see above).
TEST(DiskPanelDeath, Below200MbTellsAndEndsWithStatus0WhateverTheAnswer)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            language_nu = 1;
            start_panel(199 * MB);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "shown:\\[the disk lack of space,get enough for reuse\\]");
}
