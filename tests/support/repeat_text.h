// A text made of `s` written `n` times.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline std::string repeat(std::string_view s, std::size_t n)
{
    std::string out;
    while (n--)
        out += s;
    return out;
}
