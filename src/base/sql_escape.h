// Escaping text for a single-quoted SQL literal: the one implementation that
// the utility module, its fallback and the statement helpers share.
// Byte by byte, which is exact for UTF-8 (every connection is utf8mb4): no
// byte of a multi-byte UTF-8 character is one of the escaped bytes.
#pragma once

#include <string>
#include <string_view>

// The letter that follows the backslash for `c`, or 0 when `c` stays as it is.
inline char sql_escape_of(char c)
{
    switch (c) {
    case '\\':
        return '\\';
    case '\'':
        return '\'';
    case '"':
        return '"';
    case '\0':
        return '0';
    case '\r':
        return 'r';
    case '\n':
        return 'n';
    case '\032':
        return 'Z';
    default:
        return 0;
    }
}

inline std::string sql_escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 1);
    for (char c : text) {
        if (char e = sql_escape_of(c)) {
            out += '\\';
            out += e;
        } else {
            out += c;
        }
    }
    return out;
}
