// Helpers for mail files shared by the mail modules and the e-mail
// subsystem: base64 as "email_decode.dll" decodes it, the legacy Chinese
// encoding, UTF-16 cuts and the narrow (file system) form of a mail path.
// Header-only, so module and program agree.
#pragma once

#include "base/utf16.h"
#include "base/utf8_cut.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cstddef>
#include <string>
#include <string_view>

// Value of a base64 alphabet character, -1 for any other byte.
inline int base64_value(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// Number of bytes that base64_decode gives for `text`: every alphabet
// character carries six bits; bytes outside the alphabet ('=', blanks, line
// breaks, anything else) are skipped; incomplete last bits are dropped.
inline std::size_t base64_decoded_size(std::string_view text)
{
    std::size_t n = 0;
    for (unsigned char c : text)
        if (base64_value(c) >= 0)
            ++n;
    return n * 6 / 8;
}

// Decodes `text` into out (which must hold base64_decoded_size(text) bytes);
// returns the number of bytes written.
inline std::size_t base64_decode(std::string_view text, char* out)
{
    std::size_t n = 0;
    unsigned bits = 0;
    int have = 0;
    for (unsigned char c : text) {
        int v = base64_value(c);
        if (v < 0)
            continue;
        bits = (bits << 6) | static_cast<unsigned>(v);
        have += 6;
        if (have >= 8) {
            have -= 8;
            out[n++] = static_cast<char>((bits >> have) & 0xFF);
        }
    }
    return n;
}

inline std::string base64_decode(std::string_view text)
{
    std::string out(base64_decoded_size(text), '\0');
    out.resize(base64_decode(text, out.data()));
    return out;
}

// Mail text to UTF-8: text marked as UTF-8 (`utf8`) is kept, invalid bytes
// becoming U+FFFD; other text is GB18030 (a superset of GB2312 and GBK):
// a byte that starts no GB18030 character becomes U+FFFD, a character cut
// off at the end is dropped.
inline std::string mail_text_to_utf8(std::string_view text, bool utf8)
{
    if (utf8) {
        gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
        std::string out(valid);
        g_free(valid);
        return out;
    }
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        gsize read = 0;
        gsize written = 0;
        GError* error = nullptr;
        gchar* conv =
            g_convert_with_fallback(text.data() + pos, static_cast<gssize>(text.size() - pos),
                                    "UTF-8", "GB18030", "\xEF\xBF\xBD", &read, &written, &error);
        if (conv) {
            out.append(conv, written);
            g_free(conv);
            break;
        }
        bool partial = error && error->code == G_CONVERT_ERROR_PARTIAL_INPUT;
        g_clear_error(&error);
        if (read > 0 && read < text.size() - pos) {
            // The valid part before the failure.
            gchar* head =
                g_convert_with_fallback(text.data() + pos, static_cast<gssize>(read), "UTF-8",
                                        "GB18030", "\xEF\xBF\xBD", nullptr, &written, nullptr);
            if (head) {
                out.append(head, written);
                g_free(head);
            }
        }
        if (partial)
            break;
        out += "\xEF\xBF\xBD";
        pos += read + 1;
    }
    return out;
}

// Copies `text` into buf[units], cut so that no surrogate pair is split,
// NUL-terminated.
inline void utf16_copy(gunichar2* buf, std::size_t units, const utf16_string& text)
{
    if (units == 0)
        return;
    std::size_t n = text.size() < units - 1 ? text.size() : units - 1;
    if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF)
        --n;
    text.copy(buf, n);
    buf[n] = 0;
}

// A file name read from the file system as UTF-16: UTF-8 names as they are,
// other names decoded as GB18030.
inline utf16_string file_name_to_utf16(std::string_view name)
{
    bool utf8 = g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr);
    return utf16_from_utf8(mail_text_to_utf8(name, utf8));
}

// The narrow path of a UTF-16 path: the UTF-8 form; when no file has that
// name but one has the GB18030 form, the GB18030 form.
inline std::string narrow_mail_path(const gunichar2* path)
{
    std::string utf8 = utf16_to_utf8(path);
    if (g_file_test(utf8.c_str(), G_FILE_TEST_EXISTS))
        return utf8;
    gsize written = 0;
    gchar* gb = g_convert(utf8.data(), static_cast<gssize>(utf8.size()), "GB18030", "UTF-8",
                          nullptr, &written, nullptr);
    std::string out = utf8;
    if (gb) {
        std::string other(gb, written);
        if (other.find('\0') == std::string::npos && g_file_test(other.c_str(), G_FILE_TEST_EXISTS))
            out = other;
        g_free(gb);
    }
    return out;
}
