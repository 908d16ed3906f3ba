#include "app/language.h"
#include "app/message_box.h"
#include "disk/disk_info.h"
#include "disk/disk_space.h"
#include "support/gui_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint64_t MB = 1024;  // kilobytes

std::optional<std::uint64_t> g_reading;
int g_reads = 0;

std::optional<std::uint64_t> substituted_reading()
{
    ++g_reads;
    return g_reading;
}

class DiskPanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensure_gtk();
        language_nu = 0;
        g_reading = 5000 * MB;
        g_reads = 0;
        disk_free_reader = substituted_reading;
        script_dialogs(script);
    }
    void TearDown() override { stop_scripting_dialogs(); }

    // One check with `kilobytes` read.
    void check(std::optional<std::uint64_t> kilobytes)
    {
        g_reading = kilobytes;
        EXPECT_TRUE(func1_disk(nullptr));
    }
    std::string value() const { return gtk_label_get_text(GTK_LABEL(label_3_disk)); }
    std::string state() const { return gtk_label_get_text(GTK_LABEL(label_5_disk)); }
    std::string state_markup() const { return gtk_label_get_label(GTK_LABEL(label_5_disk)); }

    dialog_script script;
};

bool packed_without_expanding(GtkWidget* box, GtkWidget* child)
{
    gboolean expand = TRUE, fill = TRUE;
    guint padding = 0;
    GtkPackType pack;
    gtk_box_query_child_packing(GTK_BOX(box), child, &expand, &fill, &padding, &pack);
    return !expand;
}

// Prints the low-space message to standard error and answers it.
void answer_low_space_with(int response)
{
    static int answer;
    answer = response;
    set_dialog_answerer([](GtkDialog* dialog) {
        std::fprintf(stderr, "shown:[%s]\n", dialog_message(dialog).c_str());
        return answer;
    });
}

}  // namespace

TEST_F(DiskPanel, BuildsItsLabelsAndChecksAtOnce)
{
    disk_name = "/srv/logs";
    g_reading = 60000000;
    init_disk_info_show();
    EXPECT_EQ(g_reads, 1);
    EXPECT_EQ(label_texts(vbox_disk),
              (std::vector<std::string> {"------------------------", "磁盘余量:", "/srv/logs=",
                                         "58593M", "状态:", "正常"}));
    EXPECT_NE(std::string(gtk_label_get_label(GTK_LABEL(label_dash_disk))).find("#214cc0"),
              std::string::npos);
    for (GtkWidget* w : {label_dash_disk, hbox_disk, hbox_disk_2})
        EXPECT_TRUE(packed_without_expanding(vbox_disk, w));
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(vbox_disk)), 2);
    EXPECT_TRUE(script.shown.empty());
}

TEST_F(DiskPanel, Thresholds)
{
    init_disk_info_show();
    struct row {
        std::optional<std::uint64_t> kilobytes;
        const char* value;
        const char* word;
        const char* colour;
    };
    const row rows[] = {
        {60000000, "58593M", "正常", DISK_BLUE},
        {1001 * MB, "1001M", "正常", DISK_BLUE},
        {1000 * MB, "1000M", "空间不足", DISK_RED},
        {200 * MB, "200M", "空间不足", DISK_RED},
        {std::nullopt, "?", "未知", DISK_GREY},
        {5ull << 30, "5242880M", "正常", DISK_BLUE},  // 5 TiB
    };
    for (const row& r : rows) {
        check(r.kilobytes);
        EXPECT_EQ(value(), r.value);
        EXPECT_EQ(state(), r.word) << r.value;
        EXPECT_NE(state_markup().find(r.colour), std::string::npos) << r.value;
    }
    EXPECT_TRUE(script.shown.empty());
}

TEST_F(DiskPanel, FailedReadingAtStartKeepsRunning)
{
    disk_free_reader = [] { return std::optional<std::uint64_t>(); };
    language_nu = 1;
    init_disk_info_show();
    EXPECT_EQ(value(), "?");
    EXPECT_EQ(state(), "unknown");
    EXPECT_TRUE(script.shown.empty());
}

TEST_F(DiskPanel, RelabelSetsCaptionsAndStateFollowsAtNextCheck)
{
    init_disk_info_show();
    change_en_disk();
    language_nu = 1;
    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(label_1_disk)), std::string("disk free:"));
    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(label_4_disk)), std::string("state:"));
    EXPECT_EQ(state(), "正常");
    check(500 * MB);
    EXPECT_EQ(state(), "free space low");

    change_fanti_disk();
    language_nu = 2;
    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(label_1_disk)), std::string("磁盤餘量:"));
    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(label_4_disk)), std::string("狀態:"));
    check(500 * MB);
    EXPECT_EQ(state(), "空間不足");

    change_chinese_disk();
    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(label_1_disk)), std::string("磁盘余量:"));
    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(label_4_disk)), std::string("状态:"));
}

TEST(DiskPanelDeath, Below200MbTellsAndEndsWithStatus0)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A later check, the question cancelled.
    EXPECT_EXIT(
        {
            ensure_gtk();
            g_reading = 5000 * MB;
            disk_free_reader = substituted_reading;
            language_nu = 1;
            init_disk_info_show();
            answer_low_space_with(GTK_RESPONSE_CANCEL);
            g_reading = 199 * MB;
            func1_disk(nullptr);
            std::fprintf(stderr, "still running\n");
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "shown:\\[the disk lack of space,get enough for reuse\\]");

    // The first check during start-up, the question confirmed.
    EXPECT_EXIT(
        {
            ensure_gtk();
            g_reading = 199 * MB;
            disk_free_reader = substituted_reading;
            language_nu = 0;
            answer_low_space_with(GTK_RESPONSE_OK);
            init_disk_info_show();
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "shown:\\[磁盘空间不足，整理后再运行\\]");
}
