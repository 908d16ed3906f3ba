#include "syslog_record.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "base/utf8_clean.h"
#include "base/utf8_cut.h"

namespace udp {

namespace {

// One GB18030 decoder per thread; g_iconv keeps state between calls.
class gb18030_decoder {
public:
    gb18030_decoder() : cd_(g_iconv_open("UTF-8", "GB18030")) { }
    ~gb18030_decoder()
    {
        if (ok())
            g_iconv_close(cd_);
    }
    gb18030_decoder(const gb18030_decoder&) = delete;
    gb18030_decoder& operator=(const gb18030_decoder&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<GIConv>(-1); }

    // Decodes `in`; a byte that starts no valid sequence becomes U+FFFD, a
    // sequence cut off at the end is dropped.
    std::string decode(std::string_view in)
    {
        std::string out;
        out.reserve(in.size() * 3 / 2 + 4);
        auto* src = const_cast<gchar*>(in.data());
        gsize src_left = in.size();
        std::array<gchar, 1024> chunk;
        while (src_left > 0) {
            gchar* dst = chunk.data();
            gsize dst_left = chunk.size();
            gsize r = g_iconv(cd_, &src, &src_left, &dst, &dst_left);
            int err = errno;
            out.append(chunk.data(), dst - chunk.data());
            if (r != static_cast<gsize>(-1) || err == E2BIG)
                continue;
            if (err != EILSEQ)
                break;  // EINVAL: incomplete sequence at the end
            out += utf8_replacement;
            ++src;
            --src_left;
        }
        g_iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        return out;
    }

private:
    GIConv cd_;
};

// Length of the longest valid UTF-8 prefix; `cut_tail` tells whether all that
// follows it is the start of one character cut off by the end of the text.
std::size_t valid_utf8_prefix(std::string_view s, bool& cut_tail)
{
    // g_utf8_validate_len stops at a NUL byte, which is valid UTF-8: the
    // search goes on after it.
    std::size_t n = 0;
    for (;;) {
        const gchar* end = nullptr;
        if (g_utf8_validate_len(s.data() + n, s.size() - n, &end)) {
            n = s.size();
            break;
        }
        n = static_cast<std::size_t>(end - s.data());
        if (s[n] != '\0')
            break;
        ++n;
    }
    cut_tail = n < s.size() &&
        g_utf8_get_char_validated(s.data() + n, s.size() - n) == static_cast<gunichar>(-2);
    return n;
}

uint32_t read_le32(std::string_view d, std::size_t at)
{
    auto b = [&](std::size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(d[at + i]));
    };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

// A fixed-size text field: its bytes up to the first NUL or its end.
std::string_view native_field(std::string_view d, std::size_t at, std::size_t size)
{
    std::string_view f = d.substr(at, size);
    return f.substr(0, std::min(f.find('\0'), f.size()));
}

void decode_native(std::string_view d, uint32_t source_dwip, tagCommunicationData_& out)
{
    tagImpMsg_& m = out.msg.impMsg;
    m.dwLogType = read_le32(d, offsetof(tagImpMsg_, dwLogType));
    m.dwSourceIP = read_le32(d, offsetof(tagImpMsg_, dwSourceIP));
    put_text(m.cLogUser, sizeof m.cLogUser,
             native_field(d, offsetof(tagImpMsg_, cLogUser), sizeof m.cLogUser));
    put_text(m.cLogContent, sizeof m.cLogContent,
             native_field(d, offsetof(tagImpMsg_, cLogContent), sizeof m.cLogContent));
    put_text(m.cLogNote, sizeof m.cLogNote,
             native_field(d, offsetof(tagImpMsg_, cLogNote), sizeof m.cLogNote));
    uint32_t ip = read_le32(d, offsetof(tagCommunicationData_, dwIP));
    out.dwIP = ip != 0 ? ip : source_dwip;
    out.wnd = d.size() == native_size ? read_le32(d, offsetof(tagCommunicationData_, wnd)) : 0;
}

// --- syslog ---

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool all_digits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), is_digit);
}

// Takes the text up to the next space (or the end) off `s`, and that space.
std::string_view take_token(std::string_view& s)
{
    std::size_t sp = s.find(' ');
    std::string_view tok = s.substr(0, sp);
    s.remove_prefix(sp == std::string_view::npos ? s.size() : sp + 1);
    return tok;
}

std::string_view nil_to_empty(std::string_view v) { return v == "-" ? std::string_view {} : v; }

// "<PRI>" with a value of 0 to 191; removed from `s` when present.
bool take_pri(std::string_view& s)
{
    if (s.size() < 3 || s[0] != '<')
        return false;
    std::size_t close = s.find('>');
    if (close == std::string_view::npos || close < 2 || close > 4)
        return false;
    std::string_view digits = s.substr(1, close - 1);
    unsigned value = 0;
    if (!all_digits(digits) ||
        std::from_chars(digits.begin(), digits.end(), value).ec != std::errc {} || value > 191)
        return false;
    s.remove_prefix(close + 1);
    return true;
}

// "Mmm dd hh:mm:ss " (day space-padded or not, an optional year after the
// day) or an RFC 3339 stamp "2024-01-05T12:00:00..." followed by a space;
// removed from `s` when present.
bool take_3164_timestamp(std::string_view& s)
{
    static constexpr std::array<std::string_view, 12> months = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::string_view t = s;
    if (t.size() >= 4 && std::find(months.begin(), months.end(), t.substr(0, 3)) != months.end() &&
        t[3] == ' ') {
        t.remove_prefix(4);
        if (!t.empty() && t[0] == ' ')
            t.remove_prefix(1);
        std::string_view day = take_token(t);
        if (day.empty() || day.size() > 2 || !all_digits(day))
            return false;
        std::string_view time = take_token(t);
        if (time.size() == 4 && all_digits(time))  // year
            time = take_token(t);
        if (time.size() != 8 || time[2] != ':' || time[5] != ':')
            return false;
        s = t;
        return true;
    }
    std::string_view stamp = t.substr(0, t.find(' '));
    if (stamp.size() >= 19 && all_digits(stamp.substr(0, 4)) && stamp[4] == '-' &&
        stamp[10] == 'T' && stamp.size() < t.size()) {
        s.remove_prefix(stamp.size() + 1);
        return true;
    }
    return false;
}

bool is_tag_char(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '-' || c == '_' || c == '.' || c == '/' || u >= 0x80;
}

// "TAG: ", "TAG[PID]: " or "TAG[PID] " at the start of `s`: returns the tag
// and removes it with its ending from `s`; empty when there is none.
std::string_view take_tag(std::string_view& s)
{
    constexpr std::size_t max_tag = 48;
    std::size_t n = 0;
    while (n < s.size() && n <= max_tag && is_tag_char(s[n]))
        ++n;
    if (n == 0 || n > max_tag)
        return {};
    std::size_t end = n;
    bool pid = false;
    if (end < s.size() && s[end] == '[') {
        std::size_t close = s.find(']', end);
        if (close == std::string_view::npos || close - end > 24)
            return {};
        end = close + 1;
        pid = true;
    }
    if (end < s.size() && s[end] == ':')
        ++end;
    else if (!pid)
        return {};
    if (end < s.size() && s[end] != ' ')
        return {};
    std::string_view tag = s.substr(0, n);
    s.remove_prefix(std::min(end + 1, s.size()));
    return tag;
}

bool looks_like_host(std::string_view tok)
{
    return !tok.empty() && tok.size() <= 255 && std::all_of(tok.begin(), tok.end(), [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return std::isalnum(u) || c == '-' || c == '.' || c == '_';
    });
}

syslog_parts parse_3164(std::string_view s)
{
    syslog_parts p;
    bool stamped = take_3164_timestamp(s);
    std::string_view rest = s;
    std::string_view tag = take_tag(rest);
    if (tag.empty()) {
        // A host comes first: always after a timestamp, without one only
        // when a tag follows it.
        std::string_view after_host = s;
        std::string_view host = take_token(after_host);
        std::string_view after_tag = after_host;
        tag = take_tag(after_tag);
        if (stamped && !host.empty()) {
            p.host = host;
            rest = tag.empty() ? after_host : after_tag;
        } else if (!tag.empty() && looks_like_host(host)) {
            p.host = host;
            rest = after_tag;
        } else {
            tag = {};
        }
    }
    p.app = tag;
    p.message = rest;
    return p;
}

// "[id param=\"value\" ...]..." at the start of `s`: its length, or 0 when
// it is not well formed.
std::size_t structured_data_length(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && s[i] == '[') {
        bool quoted = false;
        for (++i;; ++i) {
            if (i >= s.size())
                return 0;
            char c = s[i];
            if (quoted && c == '\\')
                ++i;
            else if (c == '"')
                quoted = !quoted;
            else if (c == ']' && !quoted)
                break;
        }
        ++i;
    }
    return i;
}

syslog_parts parse_5424(std::string_view s)
{
    syslog_parts p;
    take_token(s);  // TIMESTAMP
    p.host = nil_to_empty(take_token(s));
    p.app = nil_to_empty(take_token(s));
    take_token(s);  // PROCID
    take_token(s);  // MSGID
    std::string_view sd;
    if (s.starts_with('-') && (s.size() == 1 || s[1] == ' ')) {
        s.remove_prefix(std::min<std::size_t>(2, s.size()));
    } else if (std::size_t n = structured_data_length(s); n > 0) {
        sd = s.substr(0, n);
        s.remove_prefix(n);
        if (s.starts_with(' '))
            s.remove_prefix(1);
    }
    if (s.starts_with("\xEF\xBB\xBF"))
        s.remove_prefix(3);
    // A message of structured data only keeps that data as its text.
    p.message = s.empty() ? sd : s;
    return p;
}

// Keywords that sort a message into a log type, matched without regard to
// ASCII case anywhere in the text. The first entry found wins, so attacks
// go before configuration changes, and those before web visits.
struct keyword {
    std::string_view word;
    uint32_t type;
};
constexpr std::array<keyword, 17> keyword_table = {{
    {"attack", LOG_TYPE_ATTACK},
    {"flood", LOG_TYPE_ATTACK},
    {"scan", LOG_TYPE_ATTACK},
    {"spoof", LOG_TYPE_ATTACK},
    {"ddos", LOG_TYPE_ATTACK},
    {"攻击", LOG_TYPE_ATTACK},  // attack
    {"泛洪", LOG_TYPE_ATTACK},  // flood
    {"扫描", LOG_TYPE_ATTACK},  // scan
    {"欺骗", LOG_TYPE_ATTACK},  // spoofing
    {"config", LOG_TYPE_CONFIG},
    {"配置", LOG_TYPE_CONFIG},  // configuration
    {"http://", LOG_TYPE_WEB},
    {"https://", LOG_TYPE_WEB},
    {"url=", LOG_TYPE_WEB},
    {"url:", LOG_TYPE_WEB},
    {"网址", LOG_TYPE_WEB},      // web address
    {"访问网站", LOG_TYPE_WEB},  // visited web site
}};

}  // namespace

uint32_t dwip_from_network(uint32_t s_addr)
{
    const auto* b = reinterpret_cast<const unsigned char*>(&s_addr);
    return uint32_t {b[0]} | uint32_t {b[1]} << 8 | uint32_t {b[2]} << 16 | uint32_t {b[3]} << 24;
}

std::string to_utf8(std::string_view bytes)
{
    bool cut_tail = false;
    std::size_t n = valid_utf8_prefix(bytes, cut_tail);
    if (n == bytes.size() || cut_tail)
        return std::string(bytes.substr(0, n));
    thread_local gb18030_decoder gb;
    return gb.ok() ? gb.decode(bytes) : utf8_clean(bytes, {.drop_cut_tail = true});
}

void put_text(char* buf, std::size_t size, std::string_view bytes)
{
    if (size == 0)
        return;
    utf8_copy(buf, size, to_utf8(bytes.substr(0, 4 * size)));
}

uint32_t classify_text(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    for (const keyword& k : keyword_table)
        if (lower.find(k.word) != std::string::npos)
            return k.type;
    return LOG_TYPE_OTHERS;
}

syslog_parts parse_syslog(std::string_view d)
{
    while (!d.empty() &&
           (d.back() == '\n' || d.back() == '\r' || d.back() == '\0' || d.back() == ' '))
        d.remove_suffix(1);
    std::string_view s = d;
    if (!take_pri(s))
        return parse_3164(d);
    if (s.starts_with("1 "))
        return parse_5424(s.substr(2));
    return parse_3164(s);
}

bool decode_datagram(std::string_view d, uint32_t source_dwip, tagCommunicationData_& out)
{
    std::memset(&out, 0, sizeof out);
    if (d.size() == native_size || d.size() == native_size_short) {
        decode_native(d, source_dwip, out);
        return true;
    }
    syslog_parts p = parse_syslog(d);
    if (p.host.empty() && p.app.empty() && p.message.empty())
        return false;
    tagImpMsg_& m = out.msg.impMsg;
    // A NUL inside the text would end it early: it becomes a space.
    std::string text(p.message.substr(0, 4 * sizeof m.cLogContent));
    std::replace(text.begin(), text.end(), '\0', ' ');
    put_text(m.cLogContent, sizeof m.cLogContent, text);
    put_text(m.cLogUser, sizeof m.cLogUser, native_field(p.app, 0, p.app.size()));
    put_text(m.cLogNote, sizeof m.cLogNote, native_field(p.host, 0, p.host.size()));
    m.dwLogType = classify_text(m.cLogContent);
    m.dwSourceIP = 0;
    out.dwIP = source_dwip;
    return true;
}

}  // namespace udp
