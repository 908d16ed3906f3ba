// Free space of the file system that holds the working directory, and what the
// disk panel shows for one reading.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Mount point of the file system holding the absolute `path`: the longest
// mount point in `mounts` (text of /proc/self/mounts) that contains it.
// Nothing when no line of `mounts` contains it.
std::optional<std::string> mount_point_for(std::string_view mounts, std::string_view path);

// Mount point of the file system holding the working directory.
std::optional<std::string> working_mount_point();

// Kilobytes available to this program (without the reserve kept for root) on
// the file system holding `path`; nothing when it cannot be read.
std::optional<std::uint64_t> free_kilobytes(const char* path);

enum class disk_state { ok, low, unknown };

// What one check shows and decides.
struct disk_check {
    std::string value_text;  // megabytes as "%lluM", or "?" when unknown
    disk_state state;
    bool end_process;        // a real reading below 200 MB
};

// Thresholds: more than 1000 MB ok; 1000 MB or less low; below 200 MB the
// process ends. A failed reading is unknown and ends nothing.
disk_check classify_free_space(std::optional<std::uint64_t> kilobytes);

// The panel's texts in one interface language (0 simplified Chinese,
// 1 English, 2 traditional Chinese; any other value English).
struct disk_texts {
    const char* free_caption;   // label_1_disk
    const char* state_caption;  // label_4_disk
    const char* ok;
    const char* low;
    const char* unknown;
    const char* low_message;    // shown before the process ends
};
const disk_texts& disk_texts_for(unsigned int language);

// Colours of the state markup; the unknown state is grey.
inline constexpr const char* DISK_BLUE = "#214cc0";
inline constexpr const char* DISK_RED = "#ff0000";
inline constexpr const char* DISK_GREY = "#808080";

// A span of size 10000 in `colour` around `text` (escaped).
std::string disk_markup(std::string_view text, const char* colour);

// The state word of `state` in `language`, as markup in its colour.
std::string disk_state_markup(disk_state state, unsigned int language);
