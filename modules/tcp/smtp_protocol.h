// The socket-free part of the SMTP server: command lines, MAIL and RCPT
// arguments, and the message text of DATA.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace smtp {

enum class verb {
    ehlo,
    helo,
    mail,
    rcpt,
    data,
    rset,
    noop,
    quit,
    vrfy,
    help,
    not_implemented,
    unknown
};

struct command {
    verb what;
    std::string_view arg;  // the text after the verb, without surrounding blanks
};

// A command line without its line end.
command parse_command(std::string_view line);

enum class arg_status { ok, syntax, unknown_parameter };

struct mail_from {
    arg_status status = arg_status::syntax;
    bool has_size = false;
    uint64_t size = 0;  // SIZE=, saturated at UINT64_MAX
};

// "FROM:<path> [SIZE=n] [BODY=7BIT|8BITMIME] [SMTPUTF8]"; the path may be empty.
mail_from parse_mail_from(std::string_view arg);

// "TO:<path>" with a path that is not empty; no parameters are known.
arg_status parse_rcpt_to(std::string_view arg);

// Turns the bytes that follow "354" into the message: strips the leading dot
// of every line that starts with one, and stops after the line "." that ends
// the data. Lines end with CRLF; a lone CR or LF is message text. The
// message keeps its own line ends.
class data_reader {
public:
    // Appends the message bytes found in `in` to `out` and returns how many
    // bytes of `in` belong to the data; after the ending line, done() is true
    // and the rest of `in` is left for the next command.
    std::size_t feed(std::string_view in, std::string& out);
    bool done() const { return state_ == state::done; }

private:
    enum class state { line_start, in_line, after_cr, dot, dot_cr, done };
    state state_ = state::line_start;
};

}  // namespace smtp
