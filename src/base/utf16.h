// UTF-16 texts as the companion modules exchange them (file names, header
// values, cell texts): NUL-terminated arrays of gunichar2. Header-only, so
// the modules use the same conversions as the program.
#pragma once

#include <glib.h>

#include <cstddef>
#include <string>
#include <string_view>

using utf16_string = std::basic_string<gunichar2>;

// Number of units before the terminating zero; 0 for null.
inline std::size_t utf16_length(const gunichar2* text)
{
    std::size_t n = 0;
    while (text && text[n])
        ++n;
    return n;
}

// UTF-8 to UTF-16; bytes that are not UTF-8 become U+FFFD first.
inline utf16_string utf16_from_utf8(std::string_view text)
{
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    glong units = 0;
    gunichar2* wide = g_utf8_to_utf16(valid, -1, nullptr, &units, nullptr);
    g_free(valid);
    utf16_string out = wide ? utf16_string(wide, static_cast<std::size_t>(units)) : utf16_string();
    g_free(wide);
    return out;
}

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD rather than failing the
// whole text.
inline std::string utf16_to_utf8(const gunichar2* text, std::size_t units)
{
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        gunichar c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        char buf[6];
        out.append(buf, static_cast<std::size_t>(g_unichar_to_utf8(c, buf)));
    }
    return out;
}

inline std::string utf16_to_utf8(const gunichar2* text)
{
    return utf16_to_utf8(text, utf16_length(text));
}
