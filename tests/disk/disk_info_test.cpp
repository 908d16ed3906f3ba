#include "base/language.h"
#include "gui/message_box.h"
#include "disk/disk_info.h"
#include "disk/disk_space.h"
#include "support/gui_support.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

constexpr std::uint64_t MB = 1024;  // kilobytes

std::optional<std::uint64_t> g_reading = 5000 * MB;
int g_reads = 0;

std::optional<std::uint64_t> substituted_reading()
{
    ++g_reads;
    return g_reading;
}

std::string text(GtkWidget* label) { return gtk_label_get_text(GTK_LABEL(label)); }

class DiskPanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensure_gtk();
        disk_free_reader = substituted_reading;
        script_dialogs(script);
    }
    void TearDown() override { stop_scripting_dialogs(); }
    dialog_script script;
};

// Builds the panel with `kilobytes` read at start, the low-space question
// printed to standard error and answered with `response`.
void start_panel_answering(std::optional<std::uint64_t> kilobytes, int response)
{
    static int answer;
    answer = response;
    ensure_gtk();
    set_dialog_answerer([](GtkDialog* dialog) {
        std::fprintf(stderr, "shown:[%s]\n", dialog_message(dialog).c_str());
        return answer;
    });
    g_reading = kilobytes;
    disk_free_reader = substituted_reading;
    init_disk_info_show();
}

}  // namespace

// Built with one reading taken at once; each check shows the free megabytes
// and a state word in its colour, without a message above 200 MB.
TEST_F(DiskPanel, ChecksAtOnceAndThresholdsWithoutMessage)
{
    disk_name = "/srv/logs";
    g_reading = 60000000;
    init_disk_info_show();
    EXPECT_EQ(g_reads, 1);
    EXPECT_EQ(text(label_2_disk), "/srv/logs=");
    struct row {
        std::optional<std::uint64_t> kilobytes;
        const char* value;
        const char* word;
        const char* colour;
    };
    const row rows[] = {
        {60000000, "58593M", "正常", DISK_BLUE},     {1001 * MB, "1001M", "正常", DISK_BLUE},
        {1000 * MB, "1000M", "空间不足", DISK_RED},  {200 * MB, "200M", "空间不足", DISK_RED},
        {std::nullopt, "?", "未知", DISK_GREY},       // a failed reading
        {5ull << 30, "5242880M", "正常", DISK_BLUE},  // 5 TiB
    };
    for (const row& r : rows) {
        if (&r != rows) {
            g_reading = r.kilobytes;
            EXPECT_TRUE(func1_disk(nullptr));
        }
        EXPECT_EQ(text(label_3_disk), r.value);
        EXPECT_EQ(text(label_5_disk), r.word) << r.value;
        std::string markup = gtk_label_get_label(GTK_LABEL(label_5_disk));
        EXPECT_NE(markup.find(r.colour), std::string::npos) << r.value;
    }
    EXPECT_TRUE(script.shown.empty());
}

// Relabelling changes the captions at once, the state word at the next check.
TEST_F(DiskPanel, StateWordFollowsTheLanguageAtTheNextCheck)
{
    init_disk_info_show();
    change_en_disk();
    language_nu = 1;
    EXPECT_EQ(text(label_5_disk), "正常");
    g_reading = std::nullopt;
    func1_disk(nullptr);
    EXPECT_EQ(text(label_5_disk), "unknown");
}

TEST(DiskPanelDeath, Below200MbTellsAndEndsWithStatus0)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The first check during start-up, the question confirmed.
    EXPECT_EXIT(
        {
            start_panel_answering(199 * MB, GTK_RESPONSE_OK);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "shown:\\[磁盘空间不足，整理后再运行\\]");
    // A later check, the question cancelled.
    EXPECT_EXIT(
        {
            start_panel_answering(5000 * MB, GTK_RESPONSE_CANCEL);
            language_nu = 1;
            g_reading = 199 * MB;
            func1_disk(nullptr);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "shown:\\[the disk lack of space,get enough for reuse\\]");
}
