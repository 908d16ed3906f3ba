// Making text valid UTF-8: the one cleaner that storage, the receiver and the
// writers share. Header-only, so the companion modules use it too.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr std::string_view utf8_replacement = "\xEF\xBF\xBD";  // U+FFFD

struct utf8_clean_options {
    bool bmp_only = false;       // characters above U+FFFF become U+FFFD (ucs2 columns)
    bool drop_cut_tail = false;  // a character cut off by the end is dropped, not replaced
};

inline void utf8_append(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Valid UTF-8 of `text`. A lead byte with the continuation bytes that follow
// it, when they make no valid character (stray, overlong, surrogate, beyond
// U+10FFFF, cut short), becomes one U+FFFD; ASCII after it is kept.
inline std::string utf8_clean(std::string_view text, utf8_clean_options opt = {})
{
    std::string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        std::size_t len = 0;
        char32_t c = 0, min = 0;
        if ((b & 0xE0) == 0xC0)
            len = 2, c = b & 0x1F, min = 0x80;
        else if ((b & 0xF0) == 0xE0)
            len = 3, c = b & 0x0F, min = 0x800;
        else if ((b & 0xF8) == 0xF0)
            len = 4, c = b & 0x07, min = 0x10000;
        std::size_t k = 1;
        for (; len && k < len && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k)
            c = (c << 6) | (p[i + k] & 0x3F);
        const bool cut_by_end = len && k < len && i + k == n;
        if (len == 0 || k < len || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            if (!(cut_by_end && opt.drop_cut_tail))
                out += utf8_replacement;
            i += len ? k : 1;
            continue;
        }
        if (opt.bmp_only && c > 0xFFFF)
            out += utf8_replacement;
        else
            out.append(text.substr(i, len));
        i += len;
    }
    return out;
}
