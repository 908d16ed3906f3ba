// What the UDP receiver decodes: datagrams into records
// (native records and syslog messages, RFC 3164 and RFC 5424). Pure
// functions, no socket, no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/record.h"

namespace udp {

// Datagram sizes that carry a native record, with and without `wnd`.
inline constexpr std::size_t native_size = sizeof(tagCommunicationData_);
inline constexpr std::size_t native_size_short = native_size - 4;

// A sender's IPv4 address in `dwIP` order (first octet in the low byte), from
// the address as it sits in sin_addr.s_addr (network order).
uint32_t dwip_from_network(uint32_t s_addr);

// The bytes as UTF-8: kept when they are valid UTF-8, else decoded as GB18030.
// A character cut off at the end is dropped; bytes that are neither become
// U+FFFD. NUL bytes are not treated specially.
std::string to_utf8(std::string_view bytes);

// Stores `bytes` as UTF-8 (see to_utf8) in buf[size], cut at a character
// boundary and NUL-terminated within the buffer. Only the first 4 * size
// input bytes are looked at: more can never fit.
void put_text(char* buf, std::size_t size, std::string_view bytes);

// Log type for a message text by the keyword table: 4 attack, 3
// configuration, 1 web visit, else 5.
uint32_t classify_text(std::string_view text);

// Pieces of one syslog message; views into the datagram.
struct syslog_parts {
    std::string_view host;     // HOSTNAME, empty when absent or "-"
    std::string_view app;      // TAG or APP-NAME, empty when absent or "-"
    std::string_view message;  // MSG (the whole text when nothing else parsed)
};

// Splits a syslog message of either format. Never fails: text that follows
// neither format is all message.
syslog_parts parse_syslog(std::string_view datagram);

// Decodes one datagram from the sender `source_dwip` (`dwIP` order) into
// `out`. Returns false, leaving `out` unspecified, when the datagram carries
// nothing (empty, or a syslog message without host, tag or text).
bool decode_datagram(std::string_view datagram, uint32_t source_dwip, tagCommunicationData_& out);

}  // namespace udp
