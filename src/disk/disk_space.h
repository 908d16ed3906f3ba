// Free space of the file system that holds the working directory, and what the
// disk panel shows for one reading.
#pragma once

#include "base/language.h"

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
    bool end_process;  // a real reading below 200 MB
};

// Thresholds: more than 1000 MB ok; 1000 MB or less low; below 200 MB the
// process ends. A failed reading is unknown and ends nothing.
disk_check classify_free_space(std::optional<std::uint64_t> kilobytes);

// The panel's texts.
inline constexpr tr3 DISK_FREE_CAPTION {"磁盘余量:", "disk free:", "磁盤餘量:"};  // label_1_disk
inline constexpr tr3 DISK_STATE_CAPTION {"状态:", "state:", "狀態:"};             // label_4_disk
inline constexpr tr3 DISK_OK {"正常", "ok", "正常"};
inline constexpr tr3 DISK_LOW {"空间不足", "free space low", "空間不足"};
inline constexpr tr3 DISK_UNKNOWN {"未知", "unknown", "未知"};
// Shown before the process ends.
inline constexpr tr3 DISK_LOW_MESSAGE {"磁盘空间不足，整理后再运行",
                                       "the disk lack of space,get enough for reuse",
                                       "磁盤空間不足，整理后運行"};

// Colours of the state markup; the unknown state is grey.
inline constexpr const char* DISK_BLUE = "#214cc0";
inline constexpr const char* DISK_RED = "#ff0000";
inline constexpr const char* DISK_GREY = "#808080";

// A span of size 10000 in `colour` around `text` (escaped).
std::string disk_markup(std::string_view text, const char* colour);

// The state word of `state` in `language`, as markup in its colour.
std::string disk_state_markup(disk_state state, unsigned int language);
