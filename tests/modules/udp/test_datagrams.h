// Builders of datagrams for the UDP receiver's tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/record.h"
#include "support/repeat_text.h"

// A native record as a sender lays it out (little-endian); text fields are
// copied as given, without a terminator when they fill their field.
inline std::string native_datagram(uint32_t type, uint32_t source_ip, std::string_view user,
                                   std::string_view content, std::string_view note, uint32_t ip = 0,
                                   uint32_t wnd = 0, std::size_t size = 624)
{
    std::string d(624, '\0');
    auto put32 = [&](std::size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            d[at + i] = static_cast<char>(v >> (8 * i));
    };
    put32(0, type);
    put32(4, source_ip);
    user.copy(d.data() + 8, 32);
    content.copy(d.data() + 40, 512);
    note.copy(d.data() + 552, 64);
    put32(616, ip);
    put32(620, wnd);
    d.resize(size);
    return d;
}
