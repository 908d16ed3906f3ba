// The filter's statement from the operator's patterns, whatever their bytes:
// outside the quoted patterns the statement (and the paged, ordered and
// time-limited form the list sends, and the deletion form) is the one built
// from harmless patterns, and each quoted pattern, unescaped as the server
// reads a literal, is the text typed (as the ucs2 columns can hold it).
//
// The input: flags byte, then the user pattern, the source address and the
// content pattern separated by 0xFF bytes.

#include <glib.h>

#include <string>
#include <string_view>
#include <vector>

#include "filter/filter_statement.h"
#include "fuzz_check.h"
#include "storage/mysql_ctrl.h"
#include "storage/page_set.h"

namespace {

// Stands for a pattern in the statement built for comparison.
constexpr std::string_view MARK = "Zq7Mark";

// A single-quoted literal at `at` (on the quote) as the server reads it with
// the default SQL mode; `at` moves past its closing quote.
std::string read_literal(std::string_view s, std::size_t& at)
{
    FUZZ_CHECK(at < s.size() && s[at] == '\'');
    std::string out;
    for (++at; at < s.size(); ++at) {
        char c = s[at];
        if (c == '\\') {
            FUZZ_CHECK(at + 1 < s.size());
            char e = s[++at];
            switch (e) {
            case '0':
                out += '\0';
                break;
            case 'b':
                out += '\b';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'Z':
                out += '\032';
                break;
            case '%':
                out += "\\%";
                break;  // kept for LIKE; REGEXP sees both
            case '_':
                out += "\\_";
                break;
            default:
                out += e;
                break;
            }
        } else if (c == '\'') {
            if (at + 1 < s.size() && s[at + 1] == '\'') {
                out += '\'';
                ++at;
            } else {
                ++at;
                return out;
            }
        } else {
            out += c;
        }
    }
    FUZZ_CHECK(!"literal not closed");
    return out;
}

// Compares a statement with the one built from marks: equal outside the
// literals; a literal that is a mark there holds the expected pattern here.
void compare(std::string_view real, std::string_view marked, const std::vector<std::string>& want)
{
    std::size_t r = 0, m = 0, next = 0;
    while (m < marked.size()) {
        FUZZ_CHECK(r < real.size());
        if (marked[m] != '\'') {
            FUZZ_CHECK(real[r] == marked[m]);
            ++r;
            ++m;
            continue;
        }
        const std::string mark_text = read_literal(marked, m);
        const std::string real_text = read_literal(real, r);
        if (mark_text == MARK) {
            FUZZ_CHECK(next < want.size() && real_text == want[next]);
            ++next;
        } else {
            FUZZ_CHECK(real_text == mark_text);
        }
    }
    FUZZ_CHECK(r == real.size() && next == want.size());
}

// What the list sends for the first page of a statement.
std::string page_text(const std::string& statement)
{
    std::string paged = statement;
    sql_get_page(paged);
    sql_add_order(paged);
    return time_limited(page_query_text(paged), 30);
}

std::vector<std::string_view> split(std::string_view in)
{
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        std::size_t end = in.find('\xFF', at);
        parts.push_back(in.substr(at, end == std::string_view::npos ? end : end - at));
        if (end == std::string_view::npos)
            break;
        at = end + 1;
    }
    parts.resize(3);
    return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t flags = data[0];
    std::vector<std::string_view> parts =
        split({reinterpret_cast<const char*>(data) + 1, size - 1});
    filter_inputs in;
    in.base = list_statement(0x0100A8C0u + flags, flags & 1 ? 128 : flags % 6);
    in.user = std::string(parts[0]);
    in.source_ip = std::string(parts[1]);
    in.content = std::string(parts[2]);
    in.start_on = flags & 2;
    in.start = 1000u * flags;
    in.end_on = flags & 4;
    in.end = 4000000000u - flags;

    filter_inputs marked = in;
    std::vector<std::string> want;
    if (pattern_in_force(in.user)) {
        marked.user = MARK;
        want.push_back(bmp_utf8(in.user));
    }
    if (pattern_in_force(in.content)) {
        marked.content = MARK;
        for (int i = 0; i < 3; ++i)
            want.push_back(bmp_utf8(in.content));
    }
    const std::string real = filter_statement(in, nullptr);
    const std::string model = filter_statement(marked, nullptr);
    compare(real, model, want);
    compare(page_text(real), page_text(model), want);
    compare(filter_delete_statement(real, 77), filter_delete_statement(model, 77), want);

    // Text the columns can hold reaches the server unchanged.
    for (const std::string_view typed : {parts[0], parts[2]}) {
        const char* end = nullptr;
        if (!g_utf8_validate(typed.data(), static_cast<gssize>(typed.size()), &end))
            continue;
        bool bmp = true;
        for (const char* p = typed.data(); p < end; p = g_utf8_next_char(p))
            bmp = bmp && g_utf8_get_char(p) <= 0xFFFF;
        if (bmp)
            FUZZ_CHECK(bmp_utf8(typed) == typed);
    }
    return 0;
}
