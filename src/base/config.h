// The 500-byte configuration record "config" and its codec.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

struct config_info_ {
    char user[100];      // MySQL user name
    char pass[100];      // MySQL password, in clear
    char ip[100];        // MySQL server address
    char sql_port[100];  // MySQL port as decimal text
    char udp_port[100];  // UDP receive port as decimal text
};
static_assert(sizeof(config_info_) == 500);

// The record in memory, stored whole as "config".
extern config_info_ save_info;

inline constexpr const char* CONFIG_FILE = "config";

// Stores an entry's text in a field: at most 98 bytes, cut at a character
// boundary, the rest of the field zero.
void config_set_field(char (&field)[100], std::string_view text);

// Start-up reading: clears user, pass, ip and sql_port (udp_port is kept),
// then takes at most the first 500 bytes of the file and zero-fills the rest
// of the record. -1 when the file is missing, empty or unreadable.
int config_read_startup(const char* path, config_info_& info);

// Pop-up reading: clears all fields; -1 unless the file is exactly 500 bytes.
int config_read_exact(const char* path, config_info_& info);

// Replaces the file with the 500 bytes of the record, atomically (temporary
// file in the same folder, then rename) and readable by its owner only.
int config_write(const char* path, const config_info_& info);

inline constexpr std::uint16_t DEFAULT_UDP_PORT = 20000;

// The UDP receive port stored in the `udp_port` field, given the bytes of
// "config" (a shorter file has no field); DEFAULT_UDP_PORT when the field is
// missing, empty, not a number, 0 or above 65535. Blanks around the digits are
// allowed. Header-only: the UDP module reads the file with it too.
inline std::uint16_t config_udp_port(std::string_view file)
{
    constexpr std::size_t at = offsetof(config_info_, udp_port),
                          size = sizeof config_info_::udp_port;
    if (file.size() <= at)
        return DEFAULT_UDP_PORT;
    std::string_view field = file.substr(at, size);
    field = field.substr(0, field.find('\0'));
    auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!field.empty() && blank(field.front()))
        field.remove_prefix(1);
    while (!field.empty() && blank(field.back()))
        field.remove_suffix(1);
    if (field.empty() || field.size() > 5)
        return DEFAULT_UDP_PORT;
    unsigned value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return DEFAULT_UDP_PORT;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value == 0 || value > 65535 ? DEFAULT_UDP_PORT : static_cast<std::uint16_t>(value);
}

// The UDP receive port of the file at `path` as the receiver reads it: from
// its first 500 bytes, whatever the file's size; DEFAULT_UDP_PORT without a
// file.
inline std::uint16_t config_file_udp_port(const char* path)
{
    char bytes[sizeof(config_info_)];
    std::size_t n = 0;
    if (std::FILE* f = std::fopen(path, "rb")) {
        n = std::fread(bytes, 1, sizeof bytes, f);
        std::fclose(f);
    }
    return config_udp_port({bytes, n});
}
