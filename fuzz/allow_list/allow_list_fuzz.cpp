// The router allow-list "allow_routers" of any bytes: every line is a block
// or a reported problem, every block allows its own network and address,
// and a file with no block allows nothing.

#include <string>
#include <string_view>

#include "base/allow_list.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const allow_list l = allow_list::parse(text);
    FUZZ_CHECK(l.in_force());
    std::size_t lines = 0;
    for (std::size_t at = 0; at < text.size(); ++lines)
        at = std::min(text.find('\n', at), text.size()) + 1;
    FUZZ_CHECK(l.blocks().size() + l.problems().size() <= lines);
    for (const allow_problem& p : l.problems()) {
        FUZZ_CHECK(p.line >= 1 && p.line <= lines && !p.text.empty());
        FUZZ_CHECK(p.text.find('#') == std::string::npos && p.text.find('\n') == std::string::npos);
        const std::string shown = allow_printable(p.text);
        for (unsigned char c : shown)
            FUZZ_CHECK(c >= 0x20 && c < 0x7F);
    }
    for (const allow_block& b : l.blocks()) {
        FUZZ_CHECK((b.net & ~b.mask) == 0);
        FUZZ_CHECK(l.allows(b.net) && l.allows(b.net | ~b.mask));
    }
    uint32_t probe = 0;
    for (std::size_t i = 0; i < std::min<size_t>(size, 4); ++i)
        probe = probe << 8 | data[i];
    if (l.refuses_all())
        FUZZ_CHECK(!l.allows(probe));
    FUZZ_CHECK(allow_list().allows(probe));
    return 0;
}
