// The free-space panel of the main window: the mount point of the working
// directory's file system, its free megabytes and a state word, checked at
// start and every 60 seconds. Below 200 MB the program tells the operator and
// ends.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <optional>
#include <string>

extern GtkWidget* vbox_disk;
extern GtkWidget* label_dash_disk;
extern GtkWidget* hbox_disk;
extern GtkWidget* hbox_disk_2;
extern GtkWidget* label_1_disk;  // caption "disk free:"
extern GtkWidget* label_2_disk;  // "%s=" of disk_name
extern GtkWidget* label_3_disk;  // free megabytes
extern GtkWidget* label_4_disk;  // caption "state:"
extern GtkWidget* label_5_disk;  // state word
// "dropped:%u" in red, shown only once something was dropped or could not be
// stored since start.
extern GtkWidget* label_drop_disk;

// Mount point of the file system holding the working directory; "?" when it
// cannot be found.
extern std::string disk_name;

// Takes one reading in kilobytes, nothing when it fails. Tests put their own
// reading here; the default reads the working directory's file system.
using disk_free_reader_fn = std::optional<std::uint64_t> (*)();
extern disk_free_reader_fn disk_free_reader;

// Finds disk_name; runs before GTK is initialised.
void get_disk_name();

// Builds vbox_disk, checks once and starts the 60-second timer.
void init_disk_info_show();

// One check; keeps the timer going. Below 200 MB it shows the message and
// calls disk_low_end, which does not return.
gboolean func1_disk(gpointer data);

// How the low-disk end ends the process; the program puts its quit here
// (storing what is queued), the default is exit status 0.
extern void (*disk_low_end)();

// Counts the records dropped or not stored since start; the default is
// records_not_stored() of storage plus routers_refused() of receive (the
// datagrams and mail sessions the router allow-list refused). Tests put
// their own count here.
extern uint64_t (*disk_drop_counter)();

// Shows or hides the drop line after the count; once a minute at most the
// same text goes to standard error when the count has grown. The panel runs
// it every second.
void update_drop_line();

// The free kilobytes available to the program, through disk_free_reader.
std::optional<std::uint64_t> get_free_space();

// Set the two captions in one language; the state word follows at the next
// check.
void change_chinese_disk();
void change_en_disk();
void change_fanti_disk();
