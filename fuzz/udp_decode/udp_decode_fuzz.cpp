// The UDP receiver's decoding of a datagram (native record or syslog
// message, RFC 3164 or 5424) into a record: whatever the bytes, every text
// field is valid UTF-8 ending within its field, and the syslog pieces lie
// within the datagram.

#include <glib.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "fuzz_check.h"
#include "syslog_record.h"

namespace {

bool terminated_utf8(const char* field, std::size_t size)
{
    const void* nul = std::memchr(field, '\0', size);
    return nul != nullptr && g_utf8_validate(field, -1, nullptr);
}

bool within(std::string_view part, std::string_view whole)
{
    return part.empty() ||
        (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view d(reinterpret_cast<const char*>(data), size);
    constexpr uint32_t sender = 127u | 7u << 24;  // 127.0.0.7
    tagCommunicationData_ rec;
    const bool native = size == udp::native_size || size == udp::native_size_short;
    if (udp::decode_datagram(d, sender, rec)) {
        const tagImpMsg_& m = rec.msg.impMsg;
        FUZZ_CHECK(terminated_utf8(m.cLogUser, sizeof m.cLogUser));
        FUZZ_CHECK(terminated_utf8(m.cLogContent, sizeof m.cLogContent));
        FUZZ_CHECK(terminated_utf8(m.cLogNote, sizeof m.cLogNote));
        if (!native) {
            FUZZ_CHECK(rec.dwIP == sender);
            FUZZ_CHECK(m.dwLogType == udp::classify_text(m.cLogContent));
        }
    } else {
        FUZZ_CHECK(!native);
    }
    const udp::syslog_parts p = udp::parse_syslog(d);
    FUZZ_CHECK(within(p.host, d) && within(p.app, d) && within(p.message, d));
    // NUL bytes are kept as they are: valid UTF-8, which g_utf8_validate
    // does not take with a length.
    std::string text = udp::to_utf8(d);
    std::replace(text.begin(), text.end(), '\0', ' ');
    FUZZ_CHECK(g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr));
    // Valid UTF-8 is kept as it is, NUL bytes and all.
    std::string spaced(d);
    std::replace(spaced.begin(), spaced.end(), '\0', ' ');
    if (g_utf8_validate(spaced.data(), static_cast<gssize>(spaced.size()), nullptr))
        FUZZ_CHECK(udp::to_utf8(d) == d);
    char small[13];
    udp::put_text(small, sizeof small, d);
    FUZZ_CHECK(terminated_utf8(small, sizeof small));
    return 0;
}
