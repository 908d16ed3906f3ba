// The utility module "linux_extern.dll".
#include "linux_extern.h"
#include "base/stored_clock.h"
#include "base/utf16.h"

#include "base/sql_escape.h"
#include "base/utf8_cut.h"

#include <climits>
#include <cstring>
#include <string>

namespace {

void escape_in_place(char* text)
{
    std::size_t len = std::strlen(text);
    std::size_t out = len;
    for (std::size_t i = 0; i < len; ++i)
        if (sql_escape_of(text[i]))
            ++out;
    text[out] = '\0';
    // Back to front, so every byte is read before it is overwritten.
    for (std::size_t i = len; i-- > 0;) {
        char e = sql_escape_of(text[i]);
        if (e) {
            text[--out] = e;
            text[--out] = '\\';
        } else {
            text[--out] = text[i];
        }
    }
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percent_decode(const char* in)
{
    std::string out;
    for (const char* p = in; *p; ++p) {
        if (*p == '%') {
            int hi = hex_value(p[1]);
            int lo = hi < 0 ? -1 : hex_value(p[2]);
            if (lo >= 0 && (hi | lo) != 0) {
                out += static_cast<char>(hi * 16 + lo);
                p += 2;
                continue;
            }
        }
        out += *p;
    }
    return out;
}

// Starts xdg-open on `path` and returns at once. GLib forks twice and reaps
// the intermediate child, so nothing is left to wait for.
void open_path(const char* path)
{
    if (!path || !*path)
        return;
    // A leading '-' would be taken for an option.
    std::string arg = path[0] == '-' ? std::string("./") + path : std::string(path);
    gchar* argv[] = {const_cast<gchar*>("xdg-open"), arg.data(), nullptr};
    GError* error = nullptr;
    if (!g_spawn_async(nullptr, argv, nullptr,
                       GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDIN_FROM_DEV_NULL), nullptr,
                       nullptr, nullptr, &error)) {
        g_printerr("xdg-open %s: %s\n", arg.c_str(), error->message);
        g_error_free(error);
    }
}

void open_wide_path(const gunichar2* path)
{
    if (path)
        open_path(utf16_to_utf8(path).c_str());
}

}  // namespace

extern "C" {

unsigned int get_current_time(void) { return stored_time_now(); }

void get_current_time_2(int* hour, int* minute, int* second)
{
    stored_time_of_day(hour, minute, second);
}

void sql_correct(char* text)
{
    if (text)
        escape_in_place(text);
}

int wcslen_(gunichar2* text)
{
    std::size_t n = utf16_length(text);
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

void Convert_web_addr(char* in, char* out, int size)
{
    if (!out || size <= 0)
        return;
    utf8_copy(out, static_cast<std::size_t>(size), in ? percent_decode(in) : std::string());
}

void exe_open_file(gunichar2* path) { open_wide_path(path); }

void exe_open_file_2(gunichar2* path) { open_wide_path(path); }

void open_ie(gchar* name) { open_path(name); }
}
