// The SMTP module's socket-free parts: command lines, MAIL and RCPT
// arguments, and the DATA reader. The reader gives the same message and
// stops at the same byte whether the bytes come at once or in pieces.

#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "smtp_protocol.h"

namespace {

bool within(std::string_view part, std::string_view whole)
{
    return part.empty() ||
        (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

void check_lines(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        const smtp::command c = smtp::parse_command(line);
        FUZZ_CHECK(within(c.arg, line));
        smtp::parse_mail_from(c.arg);
        smtp::parse_rcpt_to(c.arg);
    }
}

// Feeds `in` in pieces of `step` bytes; the bytes consumed.
std::size_t read_data(std::string_view in, std::size_t step, std::string& out, bool& done)
{
    smtp::data_reader r;
    std::size_t used = 0;
    while (used < in.size() && !r.done()) {
        std::string_view piece = in.substr(used, step);
        const std::size_t n = r.feed(piece, out);
        FUZZ_CHECK(n <= piece.size());
        FUZZ_CHECK(n == piece.size() || r.done());
        used += n;
    }
    done = r.done();
    return used;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t step = data[0] % 16 + 1;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    check_lines(text);

    std::string whole, pieces;
    bool whole_done = false, pieces_done = false;
    const std::size_t a = read_data(text, text.size() + 1, whole, whole_done);
    const std::size_t b = read_data(text, step, pieces, pieces_done);
    FUZZ_CHECK(a == b && whole == pieces && whole_done == pieces_done);
    FUZZ_CHECK(whole.size() <= a);
    // The end of the data is the line "." after a line end (or at the start).
    if (whole_done) {
        const std::string_view used = text.substr(0, a);
        FUZZ_CHECK(used == ".\r\n" || used.ends_with("\r\n.\r\n"));
    }
    return 0;
}
