#include "disk/disk_info.h"

#include "base/language.h"
#include "gui/message_box.h"
#include "disk/disk_space.h"

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

std::string disk_name;

namespace {

constexpr guint CHECK_SECONDS = 60;

std::optional<std::uint64_t> read_working_directory() { return free_kilobytes("."); }

void set_captions(unsigned int language)
{
    const disk_texts& t = disk_texts_for(language);
    if (label_1_disk)
        gtk_label_set_text(GTK_LABEL(label_1_disk), t.free_caption);
    if (label_4_disk)
        gtk_label_set_text(GTK_LABEL(label_4_disk), t.state_caption);
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

void get_disk_name()
{
    disk_name = working_mount_point().value_or("?");
}

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
        MessageBox_2(disk_texts_for(language_nu).low_message);
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

    func1_disk(nullptr);
    g_timeout_add_seconds(CHECK_SECONDS, func1_disk, nullptr);
}

void change_chinese_disk() { set_captions(0); }
void change_en_disk() { set_captions(1); }
void change_fanti_disk() { set_captions(2); }
