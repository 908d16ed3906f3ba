#include "disk/disk_space.h"

#include <glib.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

namespace {

constexpr std::uint64_t LOW_MB = 1000;  // at or below: red state
constexpr std::uint64_t END_MB = 200;   // below: the process ends

// Mount points in /proc/self/mounts write blank, tab, newline and backslash
// as a backslash and three octal digits.
std::string unescape_mount_field(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        auto octal = [&](std::size_t k) { return field[k] >= '0' && field[k] <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) &&
            octal(i + 3)) {
            int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            out += static_cast<char>(value);
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// The second blank-separated field of one mounts line.
std::string_view second_field(std::string_view line)
{
    std::size_t a = line.find_first_not_of(' ');
    if (a == std::string_view::npos)
        return {};
    a = line.find(' ', a);
    if (a == std::string_view::npos)
        return {};
    a = line.find_first_not_of(' ', a);
    if (a == std::string_view::npos)
        return {};
    std::size_t b = line.find(' ', a);
    return line.substr(a, b == std::string_view::npos ? std::string_view::npos : b - a);
}

// Whether the directory `mount` holds `path`, comparing whole components.
bool contains(std::string_view mount, std::string_view path)
{
    while (mount.size() > 1 && mount.back() == '/')
        mount.remove_suffix(1);
    if (mount == "/")
        return !path.empty() && path.front() == '/';
    if (path.substr(0, mount.size()) != mount)
        return false;
    return path.size() == mount.size() || path[mount.size()] == '/';
}

}  // namespace

std::optional<std::string> mount_point_for(std::string_view mounts, std::string_view path)
{
    std::optional<std::string> best;
    while (!mounts.empty()) {
        std::size_t end = mounts.find('\n');
        std::string_view line = mounts.substr(0, end);
        mounts.remove_prefix(end == std::string_view::npos ? mounts.size() : end + 1);
        std::string_view field = second_field(line);
        if (field.empty())
            continue;
        std::string mount = unescape_mount_field(field);
        if (contains(mount, path) && (!best || mount.size() >= best->size()))
            best = std::move(mount);
    }
    return best;
}

std::optional<std::string> working_mount_point()
{
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (ec)
        return std::nullopt;
    std::ifstream in("/proc/self/mounts", std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string mounts {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return mount_point_for(mounts, cwd.native());
}

std::optional<std::uint64_t> free_kilobytes(const char* path)
{
    struct statvfs st { };
    if (statvfs(path, &st) != 0)
        return std::nullopt;
    unsigned __int128 block = st.f_frsize ? st.f_frsize : st.f_bsize;
    unsigned __int128 kb = static_cast<unsigned __int128>(st.f_bavail) * block / 1024;
    constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    return kb > max ? max : static_cast<std::uint64_t>(kb);
}

disk_check classify_free_space(std::optional<std::uint64_t> kilobytes)
{
    if (!kilobytes)
        return {"?", disk_state::unknown, false};
    std::uint64_t mb = *kilobytes / 1024;
    return {std::to_string(mb) + "M", mb > LOW_MB ? disk_state::ok : disk_state::low, mb < END_MB};
}

std::string disk_markup(std::string_view text, const char* colour)
{
    gchar* escaped = g_markup_escape_text(text.data(), static_cast<gssize>(text.size()));
    std::string out =
        std::string("<span size=\"10000\" foreground=\"") + colour + "\">" + escaped + "</span>";
    g_free(escaped);
    return out;
}

std::string disk_state_markup(disk_state state, unsigned int language)
{
    switch (state) {
    case disk_state::ok:
        return disk_markup(tr(DISK_OK, language), DISK_BLUE);
    case disk_state::low:
        return disk_markup(tr(DISK_LOW, language), DISK_RED);
    case disk_state::unknown:
        break;
    }
    return disk_markup(tr(DISK_UNKNOWN, language), DISK_GREY);
}
