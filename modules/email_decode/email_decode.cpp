#include "email_decode_module.h"

#include "base/mail_text.h"

#include <gmime/gmime.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::size_t head_limit = 1 << 20;

// GMime and the parser options, set up once: raw 8-bit header text is
// UTF-8 when valid, else GB18030.
GMimeParserOptions* parser_options()
{
    static GMimeParserOptions* options = [] {
        g_mime_init();
        GMimeParserOptions* o = g_mime_parser_options_new();
        const char* fallback[] = {"UTF-8", "GB18030", nullptr};
        g_mime_parser_options_set_fallback_charsets(o, fallback);
        return o;
    }();
    return options;
}

// The header block of a mail file (up to and including the empty line that
// ends it, at most head_limit bytes); false when it cannot be read.
bool read_head(const gunichar2* mail_path, std::string* out)
{
    if (!mail_path)
        return false;
    std::string path = narrow_mail_path(mail_path);
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    out->clear();
    char buf[8192];
    while (out->size() < head_limit) {
        std::size_t n = std::fread(buf, 1, sizeof buf, f);
        if (n == 0)
            break;
        std::size_t old = out->size() >= 3 ? out->size() - 3 : 0;
        out->append(buf, n);
        std::size_t end = out->find("\n\n", old);
        std::size_t end2 = out->find("\n\r\n", old);
        if (end != std::string::npos || end2 != std::string::npos) {
            std::size_t cut = std::min(end == std::string::npos ? std::string::npos : end + 2,
                                       end2 == std::string::npos ? std::string::npos : end2 + 3);
            out->resize(cut);
            break;
        }
    }
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (out->size() > head_limit)
        out->resize(head_limit);
    return ok;
}

// GMime decodes neighbouring "B" encoded words of one charset as one base64
// stream, so a word ending in "=" padding spoils the words after it. The
// same bytes as "Q" words decode alike, split characters included.
std::string b_words_as_q(const std::string& head)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(head.size());
    std::size_t i = 0;
    while (i < head.size()) {
        std::size_t start = head.find("=?", i);
        if (start == std::string::npos)
            break;
        std::size_t q = head.find('?', start + 2);
        std::size_t end = q == std::string::npos ? q : head.find("?=", q + 3);
        bool word = end != std::string::npos && q + 2 < head.size() &&
            (head[q + 1] == 'B' || head[q + 1] == 'b') && head[q + 2] == '?';
        for (std::size_t k = start + 2; word && k < q; ++k)
            word = head[k] > ' ' && head[k] < 0x7F;
        for (std::size_t k = q + 3; word && k < end; ++k)
            word = base64_value(static_cast<unsigned char>(head[k])) >= 0 || head[k] == '=';
        if (!word) {
            out.append(head, i, start + 2 - i);
            i = start + 2;
            continue;
        }
        out.append(head, i, q - i);
        out += "?Q?";
        for (unsigned char c : base64_decode(std::string_view(head).substr(q + 3, end - q - 3))) {
            out += '=';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
        out += "?=";
        i = end + 2;
    }
    out.append(head, i, std::string::npos);
    return out;
}

struct message_ptr {
    GMimeMessage* p = nullptr;
    ~message_ptr()
    {
        if (p)
            g_object_unref(p);
    }
};

// Parses the header block of a mail; null when the file cannot be read.
GMimeMessage* parse_head(const gunichar2* mail_path)
{
    std::string head;
    if (!read_head(mail_path, &head))
        return nullptr;
    // Raw 8-bit text is read for the whole block at once, as my_email.py
    // reads it: UTF-8 when the block is valid UTF-8, else GB18030 (word by
    // word, GB text that happens to be valid UTF-8 would stay undecoded).
    if (!g_utf8_validate(head.data(), static_cast<gssize>(head.size()), nullptr))
        head = mail_text_to_utf8(head, false);
    head = b_words_as_q(head);
    GMimeParserOptions* options = parser_options();
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(head.data(), head.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* msg = g_mime_parser_construct_message(parser, options);
    g_object_unref(parser);
    g_object_unref(stream);
    return msg;
}

// An address header's raw value without its comments, which name nobody,
// and with each run of blanks and line breaks outside quoted strings as one
// blank, as Python's email package reads it.
std::string without_comments(const std::string& raw)
{
    std::string out;
    int depth = 0;
    bool quoted = false;
    bool blank = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (depth == 0 && !quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            blank = true;
            continue;
        }
        if (depth > 0) {
            if (c == '\\')
                ++i;
            else if (c == '(')
                ++depth;
            else if (c == ')' && --depth == 0)
                blank = true;
            continue;
        }
        if (!quoted && c == '(') {
            depth = 1;
            continue;
        }
        if (blank && !out.empty())
            out += ' ';
        blank = false;
        out += c;
        if (quoted && c == '\\' && i + 1 < raw.size())
            out += raw[++i];
        else if (c == '"')
            quoted = !quoted;
    }
    return out;
}

// A display name as Python's email package writes it: quoted, with '\\'
// and '"' escaped, when it holds one of ()<>@,:;."[].
std::string shown_name(const std::string& name, const char* specials = "()<>@,:;.\"[]")
{
    if (name.find_first_of(specials) == std::string::npos)
        return name;
    std::string out = "\"";
    for (char c : name) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// An address list as Python's email package writes it: "Name <address>" or
// the address alone, groups as "Name: member, member;" ("Name:;" when empty).
std::string shown_addresses(InternetAddressList* list)
{
    std::string out;
    int n = list ? internet_address_list_length(list) : 0;
    for (int i = 0; i < n; ++i) {
        InternetAddress* a = internet_address_list_get_address(list, i);
        const char* name = internet_address_get_name(a);
        std::string item;
        if (INTERNET_ADDRESS_IS_GROUP(a)) {
            std::string members =
                shown_addresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(a)));
            item =
                shown_name(name ? name : "") + ":" + (members.empty() ? "" : " " + members) + ";";
        } else if (INTERNET_ADDRESS_IS_MAILBOX(a)) {
            const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a));
            std::string address = addr ? addr : "";
            item = name && *name ? shown_name(name) + " <" + address + ">" : address;
        }
        if (item.empty())
            continue;
        if (!out.empty())
            out += ", ";
        out += item;
    }
    return out;
}

// "From:" -> "From".
std::string header_name(const char* head)
{
    std::string name = head ? head : "";
    while (!name.empty() && (name.back() == ':' || name.back() == ' ' || name.back() == '\t'))
        name.pop_back();
    return name;
}

bool is_address_header(const std::string& name)
{
    for (const char* h : {"From", "To", "Cc", "Bcc", "Reply-To", "Sender"})
        if (g_ascii_strcasecmp(name.c_str(), h) == 0)
            return true;
    return false;
}

// The decoded value of one header; false when the mail lacks it.
bool header_value(const char* head, const gunichar2* mail_path, std::string* value)
{
    std::string name = header_name(head);
    if (name.empty())
        return false;
    message_ptr msg {parse_head(mail_path)};
    if (!msg.p)
        return false;
    GMimeObject* obj = GMIME_OBJECT(msg.p);
    const char* text = g_mime_object_get_header(obj, name.c_str());
    if (!text)
        return false;
    if (is_address_header(name)) {
        // The list as parsed, decoded; the raw text when it holds no address.
        GMimeHeader* header =
            g_mime_header_list_get_header(g_mime_object_get_header_list(obj), name.c_str());
        const char* raw = header ? g_mime_header_get_raw_value(header) : nullptr;
        std::string plain = raw ? without_comments(raw) : std::string();
        InternetAddressList* list =
            raw ? internet_address_list_parse(parser_options(), plain.c_str()) : nullptr;
        std::string shown = shown_addresses(list);
        if (list)
            g_object_unref(list);
        if (!shown.empty()) {
            *value = shown;
            return true;
        }
        // Text without an address: a phrase is one, as Python's email
        // package takes it; a broken address stays as it is.
        std::string t = text;
        t.erase(0, t.find_first_not_of(" \t"));
        t.erase(t.find_last_not_of(" \t") + 1);
        *value = t.find_first_of("<>@") != std::string::npos ? t : shown_name(t, " \t()<>@,:;\"[]");
        return true;
    }
    *value = text;
    return true;
}

void add_recipients(InternetAddressList* list, std::vector<email_to_name_>* out)
{
    if (!list)
        return;
    int n = internet_address_list_length(list);
    for (int i = 0; i < n; ++i) {
        InternetAddress* a = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(a)) {
            add_recipients(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(a)), out);
            continue;
        }
        if (!INTERNET_ADDRESS_IS_MAILBOX(a))
            continue;
        const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a));
        const char* name = internet_address_get_name(a);
        std::string address = addr ? addr : "";
        std::string shown = name && *name ? std::string(name) + " <" + address + ">" : address;
        email_to_name_ rec {};
        utf8_copy(rec.ch_name, mail_to_bytes, address);
        utf16_copy(rec.wch_name, mail_to_units, utf16_from_utf8(shown));
        out->push_back(rec);
    }
}

std::vector<email_to_name_> g_to(1);

}  // namespace

extern "C" {

int Get_Str_By_Head(char* head, void* buffer, gunichar2* mail_path)
{
    std::string value;
    bool found = header_value(head, mail_path, &value);
    if (buffer)
        utf8_copy(static_cast<char*>(buffer), email_header_bytes, found ? value : std::string());
    return found ? 0 : -1;
}

void DecodeBase64_interface(char* in, char* out)
{
    if (!out)
        return;
    std::size_t n = in ? base64_decode(std::string_view(in), out) : 0;
    out[n] = '\0';
}

int GetEmail_To_interface(gunichar2* mail_path)
{
    std::vector<email_to_name_> to;
    message_ptr msg {parse_head(mail_path)};
    if (msg.p) {
        add_recipients(g_mime_message_get_addresses(msg.p, GMIME_ADDRESS_TYPE_TO), &to);
        add_recipients(g_mime_message_get_addresses(msg.p, GMIME_ADDRESS_TYPE_CC), &to);
    }
    int count = static_cast<int>(to.size());
    to.push_back(email_to_name_ {});  // the array is never empty
    g_to.swap(to);
    return count;
}

char* Get_to_buf(void) { return reinterpret_cast<char*>(g_to.data()); }

int GetStrByHead_one_block_interface(char* head, gunichar2* out, gunichar2* mail_path)
{
    std::string value;
    bool found = header_value(head, mail_path, &value);
    if (out)
        utf16_copy(out, email_header_units, found ? utf16_from_utf8(value) : utf16_string());
    return found ? 0 : -1;
}

}  // extern "C"
