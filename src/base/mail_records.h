// Records of the mail store and the mail decoding modules ("email_file.dll",
// "email_decode.dll"), shared by the modules and the program. Texts are
// NUL-terminated UTF-16 (gunichar2) or UTF-8 arrays of fixed size.
#pragma once

#include <glib.h>

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t mail_dir_units = 40;        // directory_name_::DirectoryName
inline constexpr std::size_t mail_name_units = 200;      // email_name_::ch_name
inline constexpr std::size_t mail_names_per_dir = 1000;  // newest mails listed per router
inline constexpr std::size_t mail_to_bytes = 200;        // email_to_name_::ch_name
inline constexpr std::size_t mail_to_units = 200;        // email_to_name_::wch_name

// One mail file name within a router's directory; empty ends the list.
struct email_name_ {
    gunichar2 ch_name[mail_name_units];
};

// One router's directory under "mail_save": its dotted address, the address
// in dwIP form (first octet in the low byte) and its mail file names, newest
// first. A record with an empty DirectoryName ends the array.
struct directory_name_ {
    gunichar2 DirectoryName[mail_dir_units];
    uint32_t int_ip;
    email_name_ m_email_name[mail_names_per_dir];
};

// One recipient: ch_name the address (UTF-8), wch_name what is shown,
// "Name <address>" or the address alone.
struct email_to_name_ {
    char ch_name[mail_to_bytes];
    gunichar2 wch_name[mail_to_units];
};

static_assert(offsetof(directory_name_, int_ip) == 80);
static_assert(sizeof(email_name_) == 400);
static_assert(sizeof(email_to_name_) == 600);
