// The router allow-list "allow_routers": one IPv4 address or CIDR block per
// line, '#' starts a comment. Without the file every address is allowed;
// with it only the addresses of its blocks. A line that does not parse is
// reported once on standard error and ignored; a file without a valid line
// (or one that cannot be read) allows nothing, and says so once.
// Header-only: the receiver modules use it.
#pragma once

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

inline constexpr const char* ALLOW_ROUTERS_FILE = "allow_routers";

// An address block; addresses in host order (first octet in the high byte).
struct allow_block {
    uint32_t net = 0;  // the address with its host bits cleared
    uint32_t mask = 0;
};

// A line that did not parse: its number (from 1) and its text.
struct allow_problem {
    unsigned line = 0;
    std::string text;
};

// A decimal number of at most `max_digits` digits without a leading zero
// ("0" itself is fine); false for anything else or above `max`.
inline bool allow_parse_number(std::string_view s, unsigned max_digits, uint32_t max, uint32_t& out)
{
    if (s.empty() || s.size() > max_digits || (s.size() > 1 && s[0] == '0'))
        return false;
    uint32_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    if (v > max)
        return false;
    out = v;
    return true;
}

// "a.b.c.d" in host order; decimal parts only (a leading zero would read as
// octal elsewhere, so it is refused rather than guessed).
inline bool allow_parse_address(std::string_view s, uint32_t& out)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t dot = i < 3 ? s.find('.') : s.size();
        uint32_t part = 0;
        if (dot == std::string_view::npos || !allow_parse_number(s.substr(0, dot), 3, 255, part))
            return false;
        v = v << 8 | part;
        s.remove_prefix(i < 3 ? dot + 1 : dot);
    }
    out = v;
    return true;
}

// One line without its comment and surrounding blanks: "a.b.c.d" or
// "a.b.c.d/n" with n from 0 to 32 (host bits of the address are ignored).
inline bool allow_parse_block(std::string_view s, allow_block& out)
{
    std::size_t slash = s.find('/');
    uint32_t addr = 0, bits = 32;
    if (!allow_parse_address(s.substr(0, slash), addr))
        return false;
    if (slash != std::string_view::npos && !allow_parse_number(s.substr(slash + 1), 2, 32, bits))
        return false;
    out.mask = bits == 0 ? 0 : ~uint32_t {0} << (32 - bits);
    out.net = addr & out.mask;
    return true;
}

// The parsed file.
class allow_list {
public:
    allow_list() = default;

    // The text of a file: in force, with its valid lines as blocks.
    static allow_list parse(std::string_view text)
    {
        allow_list l;
        l.in_force_ = true;
        unsigned number = 0;
        for (std::size_t at = 0; at < text.size();) {
            std::size_t end = std::min(text.find('\n', at), text.size());
            l.add_line(++number, text.substr(at, end - at));
            at = end + 1;
        }
        l.sort();
        return l;
    }

    // A file that exists but cannot be read: in force, nothing allowed.
    static allow_list unreadable()
    {
        allow_list l;
        l.in_force_ = true;
        return l;
    }

    bool in_force() const { return in_force_; }
    // Nothing is allowed: a file without a valid line.
    bool refuses_all() const { return in_force_ && blocks_.empty(); }
    const std::vector<allow_block>& blocks() const { return blocks_; }
    const std::vector<allow_problem>& problems() const { return problems_; }

    // Whether an address (host order) may send.
    bool allows(uint32_t addr) const
    {
        if (!in_force_)
            return true;
        // Blocks are sorted by mask, then network: one search per mask.
        auto it = blocks_.begin();
        while (it != blocks_.end()) {
            const uint32_t mask = it->mask;
            auto last = std::find_if(it, blocks_.end(),
                                     [mask](const allow_block& b) { return b.mask != mask; });
            const uint32_t net = addr & mask;
            auto at = std::lower_bound(it, last, net,
                                       [](const allow_block& b, uint32_t n) { return b.net < n; });
            if (at != last && at->net == net)
                return true;
            it = last;
        }
        return false;
    }

    // The same for an address in dwIP form (first octet in the low byte).
    bool allows_dwip(uint32_t dwip) const
    {
        return allows((dwip & 0xFFu) << 24 | (dwip & 0xFF00u) << 8 | (dwip >> 8 & 0xFF00u) |
                      dwip >> 24);
    }

private:
    void add_line(unsigned number, std::string_view line)
    {
        line = line.substr(0, line.find('#'));
        auto blank = [](char c) {
            return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
        };
        while (!line.empty() && blank(line.front()))
            line.remove_prefix(1);
        while (!line.empty() && blank(line.back()))
            line.remove_suffix(1);
        if (line.empty())
            return;
        allow_block b;
        if (allow_parse_block(line, b))
            blocks_.push_back(b);
        else
            problems_.push_back({number, std::string(line)});
    }

    void sort()
    {
        std::sort(blocks_.begin(), blocks_.end(), [](const allow_block& a, const allow_block& b) {
            return a.mask != b.mask ? a.mask > b.mask : a.net < b.net;
        });
    }

    bool in_force_ = false;
    std::vector<allow_block> blocks_;
    std::vector<allow_problem> problems_;
};

// A line's text as it is reported: printable ASCII kept, other bytes as
// \xNN, at most 80 bytes of the line.
inline std::string allow_printable(std::string_view text)
{
    std::string out;
    for (unsigned char c : text.substr(0, 80)) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return text.size() > 80 ? out + "..." : out;
}

// Writes a report line to standard error unless the same key was reported
// before in this process. The keys are GLib quarks, which the program and
// both receiver modules share, so a line is reported once, not once per
// module.
inline void allow_report_once(const std::string& key, const std::string& text)
{
    static std::mutex m;
    std::lock_guard lock(m);
    if (g_quark_try_string(key.c_str()) != 0)
        return;
    g_quark_from_string(key.c_str());
    std::fprintf(stderr, "%s\n", text.c_str());
}

// Reports the problems of a list read from `path` (`stamp` tells versions of
// the file apart).
inline void allow_report(const allow_list& l, const std::string& path, const std::string& stamp)
{
    for (const allow_problem& p : l.problems())
        allow_report_once("logserver-allow:" + path + ":" + std::to_string(p.line) + ":" + p.text,
                          path + ": line " + std::to_string(p.line) +
                              " ignored, not an IPv4 address or CIDR block: \"" +
                              allow_printable(p.text) + "\"");
    if (l.refuses_all())
        allow_report_once("logserver-allow-none:" + path + ":" + stamp,
                          path + " holds no valid line: every router is refused");
}

// Reads the file at `path`: not in force when it does not exist.
inline allow_list allow_list_read(const char* path)
{
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        struct stat st { };
        return ::stat(path, &st) == 0 ? allow_list::unreadable() : allow_list {};
    }
    std::string text;
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    return failed ? allow_list::unreadable() : allow_list::parse(text);
}

// The allow-list of a receiver: the file at a fixed path, read at the start
// and again within a second after it changed (or appeared or went away).
// Safe to call from several threads.
class allow_watch {
public:
    explicit allow_watch(std::string path) : path_(std::move(path)) { reload(stamp_now()); }

    bool allows(uint32_t addr)
    {
        std::lock_guard lock(mutex_);
        refresh();
        return list_.allows(addr);
    }
    bool allows_dwip(uint32_t dwip)
    {
        std::lock_guard lock(mutex_);
        refresh();
        return list_.allows_dwip(dwip);
    }

private:
    // What identifies a version of the file: "" when there is none.
    std::string stamp_now() const
    {
        struct stat st { };
        if (::stat(path_.c_str(), &st) != 0)
            return "";
        return std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
            std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    }

    void reload(std::string stamp)
    {
        list_ = allow_list_read(path_.c_str());
        stamp_ = std::move(stamp);
        allow_report(list_, path_, stamp_);
    }

    void refresh()
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - checked_ < std::chrono::seconds(1))
            return;
        checked_ = now;
        std::string stamp = stamp_now();
        if (stamp != stamp_)
            reload(std::move(stamp));
    }

    const std::string path_;
    std::mutex mutex_;
    allow_list list_;
    std::string stamp_;
    std::chrono::steady_clock::time_point checked_ = std::chrono::steady_clock::now();
};
