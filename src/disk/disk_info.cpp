#include "disk/disk_info.h"

#include "base/language.h"
#include "gui/message_box.h"
#include "disk/disk_space.h"
#include "receive/refused.h"
#include "storage/mysql_data.h"

#include <cstdlib>

GtkWidget* vbox_disk = nullptr;
GtkWidget* label_dash_disk = nullptr;
GtkWidget* hbox_disk = nullptr;
GtkWidget* hbox_disk_2 = nullptr;
GtkWidget* label_1_disk = nullptr;
GtkWidget* label_2_disk = nullptr;
GtkWidget* label_3_disk = nullptr;
GtkWidget* label_4_disk = nullptr;
GtkWidget* label_5_disk = nullptr;
GtkWidget* label_drop_disk = nullptr;

std::string disk_name;

namespace {

constexpr guint CHECK_SECONDS = 60;
constexpr gint64 DROP_REPORT_US = 60 * G_USEC_PER_SEC;

const tr3 DROPPED = {"丢弃:%llu", "dropped:%llu", "丟棄:%llu"};
uint64_t g_drop_reported = 0;
gint64 g_drop_reported_at = 0;

std::string drop_text(uint64_t n, unsigned language)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, tr(DROPPED, language), static_cast<unsigned long long>(n));
    return buf;
}

std::optional<std::uint64_t> read_working_directory() { return free_kilobytes("."); }

void set_captions(unsigned int language)
{
    if (label_1_disk)
        gtk_label_set_text(GTK_LABEL(label_1_disk), tr(DISK_FREE_CAPTION, language));
    if (label_4_disk)
        gtk_label_set_text(GTK_LABEL(label_4_disk), tr(DISK_STATE_CAPTION, language));
    if (label_drop_disk && disk_drop_counter)
        gtk_label_set_markup(
            GTK_LABEL(label_drop_disk),
            disk_markup(drop_text(disk_drop_counter(), language), DISK_RED).c_str());
}

// Mount points are file names: shown in their display form, which is valid
// UTF-8 whatever bytes they hold.
std::string disk_name_label()
{
    gchar* shown = g_filename_display_name(disk_name.c_str());
    std::string text = std::string(shown) + "=";
    g_free(shown);
    return text;
}

}  // namespace

disk_free_reader_fn disk_free_reader = read_working_directory;

void (*disk_low_end)() = [] { std::exit(0); };

namespace {
// Dropped or not stored, and refused by the router allow-list.
uint64_t dropped_or_refused() { return records_not_stored() + routers_refused(); }
}  // namespace

uint64_t (*disk_drop_counter)() = dropped_or_refused;

void update_drop_line()
{
    const uint64_t n = disk_drop_counter ? disk_drop_counter() : 0;
    if (n > 0 && !label_drop_disk && vbox_disk) {
        // The line exists only once something was dropped.
        label_drop_disk = gtk_label_new(nullptr);
        gtk_misc_set_alignment(GTK_MISC(label_drop_disk), 0.0f, 0.5f);
        gtk_box_pack_start(GTK_BOX(vbox_disk), label_drop_disk, FALSE, FALSE, 0);
    }
    if (label_drop_disk) {
        gtk_label_set_markup(GTK_LABEL(label_drop_disk),
                             disk_markup(drop_text(n, language_nu), DISK_RED).c_str());
        gtk_widget_set_visible(label_drop_disk, n > 0);
    }
    const gint64 now = g_get_monotonic_time();
    if (n > g_drop_reported &&
        (g_drop_reported_at == 0 || now - g_drop_reported_at >= DROP_REPORT_US)) {
        std::fprintf(stderr, "%s\n", drop_text(n, language_nu).c_str());
        g_drop_reported = n;
        g_drop_reported_at = now;
    }
}

void get_disk_name() { disk_name = working_mount_point().value_or("?"); }

std::optional<std::uint64_t> get_free_space()
{
    return disk_free_reader ? disk_free_reader() : std::nullopt;
}

gboolean func1_disk(gpointer)
{
    disk_check check = classify_free_space(get_free_space());
    gtk_label_set_text(GTK_LABEL(label_3_disk), check.value_text.c_str());
    gtk_label_set_markup(GTK_LABEL(label_5_disk),
                         disk_state_markup(check.state, language_nu).c_str());
    if (check.end_process) {
        // Whatever the answer, the program cannot go on without room.
        MessageBox_2(tr(DISK_LOW_MESSAGE));
        disk_low_end();
        std::exit(0);
    }
    return TRUE;
}

void init_disk_info_show()
{
    if (disk_name.empty())
        get_disk_name();

    vbox_disk = gtk_vbox_new(FALSE, 2);
    label_dash_disk = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(label_dash_disk),
                         disk_markup("------------------------", DISK_BLUE).c_str());
    gtk_misc_set_alignment(GTK_MISC(label_dash_disk), 0.0f, 1.0f);

    hbox_disk = gtk_hbox_new(FALSE, 2);
    label_1_disk = gtk_label_new(nullptr);
    label_2_disk = gtk_label_new(disk_name_label().c_str());
    label_3_disk = gtk_label_new("5900M");
    gtk_box_pack_start(GTK_BOX(hbox_disk), label_1_disk, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(hbox_disk), label_2_disk, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(hbox_disk), label_3_disk, FALSE, FALSE, 0);

    hbox_disk_2 = gtk_hbox_new(FALSE, 2);
    label_4_disk = gtk_label_new(nullptr);
    label_5_disk = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(label_5_disk), disk_state_markup(disk_state::ok, 0).c_str());
    gtk_box_pack_start(GTK_BOX(hbox_disk_2), label_4_disk, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(hbox_disk_2), label_5_disk, FALSE, FALSE, 0);

    gtk_box_pack_start(GTK_BOX(vbox_disk), label_dash_disk, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(vbox_disk), hbox_disk, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(vbox_disk), hbox_disk_2, FALSE, FALSE, 0);
    set_captions(language_nu);
    update_drop_line();
    g_timeout_add_seconds(
        1,
        [](gpointer) -> gboolean {
            update_drop_line();
            return TRUE;
        },
        nullptr);

    func1_disk(nullptr);
    g_timeout_add_seconds(CHECK_SECONDS, func1_disk, nullptr);
}

void change_chinese_disk() { set_captions(0); }
void change_en_disk() { set_captions(1); }
void change_fanti_disk() { set_captions(2); }
