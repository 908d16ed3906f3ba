// Cutting text to a byte budget without splitting a UTF-8 character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Length of the longest prefix of `text` that is at most `max_bytes` long and
// does not end inside a multi-byte UTF-8 sequence.
inline std::size_t utf8_cut_length(std::string_view text, std::size_t max_bytes)
{
    if (text.size() <= max_bytes)
        return text.size();
    std::size_t n = max_bytes;
    // Step back over continuation bytes (10xxxxxx) to a lead byte, then drop
    // that lead byte too when its sequence does not fit.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

inline std::string utf8_cut(std::string_view text, std::size_t max_bytes)
{
    return std::string(text.substr(0, utf8_cut_length(text, max_bytes)));
}

// Copies `text` into buf[size], cut at a character boundary, NUL-terminated.
inline void utf8_copy(char* buf, std::size_t size, std::string_view text)
{
    if (size == 0)
        return;
    std::size_t n = utf8_cut_length(text, size - 1);
    text.copy(buf, n);
    buf[n] = '\0';
}
