#include "smtp_protocol.h"

#include <array>
#include <cstring>
#include <limits>

namespace smtp {

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool iequals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

bool istarts_with(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && iequals(s.substr(0, prefix.size()), prefix);
}

struct path_and_params {
    bool ok = false;
    bool empty_path = false;
    std::string_view params;
};

// "<keyword>:<path> params", blanks allowed after the colon.
path_and_params split_path(std::string_view arg, std::string_view keyword)
{
    path_and_params r;
    if (!istarts_with(arg, keyword))
        return r;
    arg = trim(arg.substr(keyword.size()));
    if (arg.empty() || arg.front() != '<')
        return r;
    std::size_t close = arg.find('>');
    if (close == std::string_view::npos)
        return r;
    std::string_view path = arg.substr(1, close - 1);
    for (char c : path)
        if (blank(c) || static_cast<unsigned char>(c) < 0x20 || c == '<')
            return r;
    std::string_view rest = arg.substr(close + 1);
    if (!rest.empty() && !blank(rest.front()))
        return r;
    r.ok = true;
    r.empty_path = path.empty();
    r.params = trim(rest);
    return r;
}

// Calls `each(keyword, value, has_value)` for every blank-separated
// parameter; stops at the first for which it returns false.
template <class Fn> bool for_each_param(std::string_view params, Fn each)
{
    while (!params.empty()) {
        std::size_t end = 0;
        while (end < params.size() && !blank(params[end]))
            ++end;
        std::string_view p = params.substr(0, end);
        std::size_t eq = p.find('=');
        bool has_value = eq != std::string_view::npos;
        if (!each(p.substr(0, eq), has_value ? p.substr(eq + 1) : std::string_view(), has_value))
            return false;
        params = trim(params.substr(end));
    }
    return true;
}

bool parse_size(std::string_view digits, uint64_t& out)
{
    if (digits.empty() || digits.size() > 20)
        return false;
    uint64_t v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        unsigned d = static_cast<unsigned>(c - '0');
        v = v > (std::numeric_limits<uint64_t>::max() - d) / 10
            ? std::numeric_limits<uint64_t>::max()
            : v * 10 + d;
    }
    out = v;
    return true;
}

}  // namespace

command parse_command(std::string_view line)
{
    struct name {
        std::string_view text;
        verb what;
    };
    static constexpr std::array<name, 17> names {{
        {"EHLO", verb::ehlo},
        {"HELO", verb::helo},
        {"MAIL", verb::mail},
        {"RCPT", verb::rcpt},
        {"DATA", verb::data},
        {"RSET", verb::rset},
        {"NOOP", verb::noop},
        {"QUIT", verb::quit},
        {"VRFY", verb::vrfy},
        {"HELP", verb::help},
        {"EXPN", verb::not_implemented},
        {"TURN", verb::not_implemented},
        {"ETRN", verb::not_implemented},
        {"AUTH", verb::not_implemented},
        {"BDAT", verb::not_implemented},
        {"STARTTLS", verb::not_implemented},
        {"ATRN", verb::not_implemented},
    }};
    line = trim(line);
    std::size_t end = 0;
    while (end < line.size() && !blank(line[end]))
        ++end;
    std::string_view word = line.substr(0, end);
    for (const name& n : names)
        if (iequals(word, n.text))
            return {n.what, trim(line.substr(end))};
    return {verb::unknown, {}};
}

mail_from parse_mail_from(std::string_view arg)
{
    mail_from r;
    path_and_params p = split_path(arg, "FROM:");
    if (!p.ok)
        return r;
    r.status = arg_status::ok;
    bool known =
        for_each_param(p.params, [&](std::string_view key, std::string_view value, bool has_value) {
            if (iequals(key, "SIZE") && has_value && parse_size(value, r.size)) {
                r.has_size = true;
                return true;
            }
            if (iequals(key, "BODY") && (iequals(value, "7BIT") || iequals(value, "8BITMIME")))
                return true;
            return iequals(key, "SMTPUTF8") && !has_value;
        });
    if (!known)
        r.status = arg_status::unknown_parameter;
    return r;
}

arg_status parse_rcpt_to(std::string_view arg)
{
    path_and_params p = split_path(arg, "TO:");
    if (!p.ok || p.empty_path)
        return arg_status::syntax;
    return p.params.empty() ? arg_status::ok : arg_status::unknown_parameter;
}

std::size_t data_reader::feed(std::string_view in, std::string& out)
{
    std::size_t i = 0;
    while (i < in.size() && state_ != state::done) {
        char c = in[i];
        switch (state_) {
        case state::in_line: {
            // The bulk of a message: copy up to the next CR at once.
            const void* cr = std::memchr(in.data() + i, '\r', in.size() - i);
            std::size_t stop =
                cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - in.data()) : in.size();
            out.append(in.data() + i, stop - i);
            i = stop;
            if (cr) {
                out.push_back('\r');
                state_ = state::after_cr;
                ++i;
            }
            continue;
        }
        case state::line_start:
            if (c == '.') {
                state_ = state::dot;  // kept back until the next byte tells
                ++i;
                continue;
            }
            break;
        case state::after_cr:
            if (c == '\n') {
                out.push_back('\n');
                state_ = state::line_start;
                ++i;
                continue;
            }
            break;
        case state::dot:
            if (c == '\r') {
                state_ = state::dot_cr;
                ++i;
                continue;
            }
            break;  // the leading dot was stuffing: dropped
        case state::dot_cr:
            if (c == '\n') {
                state_ = state::done;
                ++i;
                continue;
            }
            out.push_back('\r');  // "." then CR then text: the CR is text
            state_ = state::after_cr;
            continue;
        case state::done:
            break;
        }
        // Any other byte is line text.
        out.push_back(c);
        state_ = c == '\r' ? state::after_cr : state::in_line;
        ++i;
    }
    return i;
}

}  // namespace smtp
