#include "email/email_decode.h"

#include "base/mail_text.h"
#include "base/utf8_cut.h"
#include "companion/extern.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t window_size = 1000;
constexpr std::size_t window_buffer = 1010;
constexpr std::size_t window_short = 10;
constexpr long window_step = 700;
constexpr long head_search_limit = 64 * 1024;
constexpr std::size_t text_base64_limit = 16 * 1024;  // enough for 3,999 bytes of text
constexpr std::size_t attach_name_bytes = 200;

FILE* infile = nullptr;
std::string ret_symbol = "\r\n";
std::string ret_symbol_2 = "\r\n\r\n";

// Reads up to 1,000 bytes at pos into a zero-filled buffer; the number read.
std::size_t read_window(long pos, char* buf)
{
    std::memset(buf, 0, window_buffer);
    if (!infile || pos < 0 || fseeko(infile, pos, SEEK_SET) != 0)
        return 0;
    return std::fread(buf, 1, window_size, infile);
}

void set_line_mode(const char* window)
{
    bool crlf = std::strstr(window, "\r\n") != nullptr;
    ret_symbol = crlf ? "\r\n" : "\n";
    ret_symbol_2 = crlf ? "\r\n\r\n" : "\n\n";
}

bool contains(std::string_view text, std::string_view what)
{
    return text.find(what) != std::string_view::npos;
}

// Whether a header block names a UTF charset ("utf-8", "UTF-8", "utf8").
bool marked_utf(std::string_view head)
{
    gchar* lower = g_ascii_strdown(head.data(), static_cast<gssize>(head.size()));
    bool utf = std::strstr(lower, "utf") != nullptr;
    g_free(lower);
    return utf;
}

// Decodes base64 through the module when it is loaded; the built-in decoder
// follows the same rules.
std::string decode_base64(const std::string& text)
{
    if (!DecodeBase64_interface)
        return base64_decode(text);
    std::size_t size = base64_decoded_size(text);
    std::vector<char> out(size + 1);
    std::string in = text;  // the entry takes a mutable pointer
    DecodeBase64_interface(in.data(), out.data());
    return std::string(out.data(), size);
}

// Sequential lines of any length from a position; "\r" before "\n" is
// dropped, so both line-break modes give the same lines.
class line_reader {
public:
    explicit line_reader(long pos) : pos_(pos)
    {
        ok_ = infile && pos >= 0 && fseeko(infile, pos, SEEK_SET) == 0;
    }
    ~line_reader() { std::free(buf_); }
    line_reader(const line_reader&) = delete;
    line_reader& operator=(const line_reader&) = delete;

    // The next line; false at the end of the data.
    bool next(std::string* line)
    {
        if (!ok_)
            return false;
        ssize_t n = getline(&buf_, &cap_, infile);
        if (n <= 0) {
            ok_ = false;
            return false;
        }
        pos_ += n;
        std::size_t len = static_cast<std::size_t>(n);
        if (len > 0 && buf_[len - 1] == '\n')
            --len;
        if (len > 0 && buf_[len - 1] == '\r')
            --len;
        line->assign(buf_, len);
        return true;
    }
    long pos() const { return pos_; }

private:
    long pos_;
    bool ok_ = false;
    char* buf_ = nullptr;
    std::size_t cap_ = 0;
};

// Base64 text of a line: the alphabet characters only; `padded` tells
// whether a '=' ended the data.
std::string base64_chars(const std::string& line, bool* padded)
{
    std::string out;
    out.reserve(line.size());
    *padded = false;
    for (unsigned char c : line) {
        if (c == '=') {
            *padded = true;
            break;
        }
        if (base64_value(c) >= 0)
            out += static_cast<char>(c);
    }
    return out;
}

bool is_blank_line(const std::string& line)
{
    return line.find_first_not_of(" \t") == std::string::npos;
}

bool is_delimiter(const std::string& line) { return line.compare(0, 2, "--") == 0; }

// Raw bytes [from, to) of the open file, at most `limit` of them.
std::string read_range(long from, long to, std::size_t limit)
{
    std::string out;
    if (!infile || from < 0 || (to >= 0 && to <= from) || fseeko(infile, from, SEEK_SET) != 0)
        return out;
    std::size_t want = to < 0 ? limit : std::min(limit, static_cast<std::size_t>(to - from));
    out.resize(want);
    out.resize(std::fread(out.data(), 1, want, infile));
    return out;
}

// The filename value of an attachment's header block text starting at
// "filename": its folded continuation lines joined; every "?B?" encoded word
// decoded; else the quoted or plain value.
std::string attachment_name_bytes(const std::string& from_filename)
{
    std::string logical;
    std::size_t pos = 0;
    while (pos < from_filename.size()) {
        std::size_t end = from_filename.find('\n', pos);
        std::string line =
            from_filename.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (pos > 0 && (line.empty() || (line[0] != ' ' && line[0] != '\t')))
            break;
        logical += line;
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
    if (contains(logical, "?B?")) {
        std::string bytes;
        std::size_t at = 0;
        while ((at = logical.find("?B?", at)) != std::string::npos) {
            at += 3;
            std::size_t stop = logical.find("?=", at);
            bytes += decode_base64(
                logical.substr(at, stop == std::string::npos ? std::string::npos : stop - at));
            if (stop == std::string::npos)
                break;
            at = stop + 2;
        }
        return bytes;
    }
    // filename[ ]=[ ]"value" or filename=value
    std::size_t at = std::strlen("filename");
    while (at < logical.size() && (logical[at] == ' ' || logical[at] == '\t'))
        ++at;
    if (at >= logical.size() || logical[at] != '=')
        return {};
    ++at;
    while (at < logical.size() && (logical[at] == ' ' || logical[at] == '\t'))
        ++at;
    if (at < logical.size() && logical[at] == '"') {
        std::size_t end = logical.find('"', at + 1);
        if (end == std::string::npos)
            return {};
        return logical.substr(at + 1, end - at - 1);
    }
    std::size_t end = logical.find_first_of("; \t", at);
    return logical.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// Creates (truncating) a file for writing without following a link in its
// place.
FILE* create_file(const std::string& path)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno == ELOOP && unlink(path.c_str()) == 0)
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    FILE* f = fdopen(fd, "wb");
    if (!f)
        close(fd);
    return f;
}

}  // namespace

int open_email(const char* pname)
{
    close_file_email();
    ret_symbol = "\r\n";
    ret_symbol_2 = "\r\n\r\n";
    if (!pname)
        return -1;
    infile = std::fopen(pname, "rb");
    if (!infile && g_utf8_validate(pname, -1, nullptr)) {
        gchar* gb = g_convert(pname, -1, "GB18030", "UTF-8", nullptr, nullptr, nullptr);
        if (gb)
            infile = std::fopen(gb, "rb");
        g_free(gb);
    }
    return infile ? 0 : -1;
}

void close_file_email()
{
    if (infile)
        std::fclose(infile);
    infile = nullptr;
}

long get_one_line(char* pOut, long pos_start)
{
    char buf[window_buffer];
    if (read_window(pos_start, buf) < window_short)
        return -1;
    const char* brk = std::strstr(buf, ret_symbol.c_str());
    if (!brk)
        return -1;
    if (brk == buf)
        return -2;
    std::size_t len = static_cast<std::size_t>(brk - buf);
    if (pOut) {
        std::size_t n = std::min(len, email_line_size - 1);
        std::memcpy(pOut, buf, n);
        pOut[n] = '\0';
    }
    return pos_start + static_cast<long>(len + ret_symbol.size());
}

long find_char_infile(const char* pchar, long start_pos)
{
    if (!pchar || !*pchar || start_pos < 0)
        return -1;
    char buf[window_buffer];
    for (long pos = start_pos;; pos += window_step) {
        std::size_t n = read_window(pos, buf);
        if (n < window_short)
            return -1;
        if (const char* hit = std::strstr(buf, pchar))
            return pos + (hit - buf);
        if (n < window_size)
            return -1;  // this window reached the end
    }
}

long find_text_start() { return find_char_infile("Content-Type: text/plain", 0); }

long GetBoundary_2(char* pOut, long start_pos)
{
    if (pOut)
        pOut[0] = '\0';
    long from = start_pos - static_cast<long>(window_size);
    if (from < 0)
        from = 0;
    char buf[window_buffer];
    if (read_window(from, buf) < window_short)
        return -1;
    const char* found = std::strstr(buf, "boundary");
    if (!found)
        return -1;
    for (int i = 1; i < 6; ++i) {
        const char* next = std::strstr(found + 2, "boundary");
        if (!next)
            break;
        found = next;
    }
    const char* p = found + std::strlen("boundary");
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '=')
        ++p;
    while (*p == ' ' || *p == '\t')
        ++p;
    const char* value = p;
    std::size_t len;
    if (*p == '"') {
        const char* q2 = std::strchr(p + 1, '"');
        if (!q2)
            return -1;
        value = p + 1;
        len = static_cast<std::size_t>(q2 - value);
    } else {
        len = std::strcspn(p, "; \t\r\n\"");
    }
    if (len == 0 || len >= email_boundary_size)
        return -1;
    if (pOut) {
        std::memcpy(pOut, value, len);
        pOut[len] = '\0';
    }
    return from + (value - buf);
}

long get_head_block(long pos_start, char* pOut)
{
    char buf[window_buffer];
    if (read_window(pos_start, buf) < window_short)
        return -1;
    set_line_mode(buf);
    long end = find_char_infile(ret_symbol_2.c_str(), pos_start);
    if (end < 0 || end - pos_start > head_search_limit)
        return -1;
    if (pOut) {
        std::string head = read_range(pos_start, end, email_head_copy);
        std::memcpy(pOut, head.data(), head.size());
        pOut[head.size()] = '\0';
    }
    return end + static_cast<long>(ret_symbol_2.size());
}

int GetContent_text(char* pOut)
{
    if (pOut)
        pOut[0] = '\0';
    long t = find_text_start();
    if (t < 0)
        return -1;
    char head[email_head_size];
    long b = get_head_block(t, head);
    if (b < 0)
        return -1;
    std::string bytes;
    if (std::strstr(head, "base64")) {
        line_reader reader(b);
        std::string text;
        std::string line;
        std::size_t previous = 0;
        while (text.size() < text_base64_limit && reader.next(&line)) {
            if (is_blank_line(line) || is_delimiter(line))
                break;
            text += line;
            if (previous > 0 && line.size() < previous)
                break;  // a shorter line is the last
            previous = line.size();
        }
        bytes = decode_base64(text);
    } else if (std::strstr(head, "Content-Transfer-Encoding: 7bit")) {
        char boundary[email_boundary_size];
        long e = GetBoundary_2(boundary, t) >= 0 ? find_char_infile(boundary, t) : -1;
        if (e >= 0 && e < b)
            e = b;  // the boundary lies before the body: nothing
        bytes = read_range(b, e, email_content_size);
        if (e >= 0) {
            // The delimiter's "--" and the line break before it are not text.
            if (bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "--") == 0)
                bytes.resize(bytes.size() - 2);
            if (!bytes.empty() && bytes.back() == '\n')
                bytes.pop_back();
            if (!bytes.empty() && bytes.back() == '\r')
                bytes.pop_back();
        }
    } else {
        return -1;
    }
    if (pOut)
        utf8_copy(pOut, email_content_size, mail_text_to_utf8(bytes, marked_utf(head)));
    return 0;
}

long GetAttachment(char* attach_name, long start_pos)
{
    if (attach_name)
        attach_name[0] = '\0';
    long p = find_char_infile("Content-Disposition: attachment", start_pos);
    if (p < 0)
        return -1;
    char head[email_head_size];
    long r = get_head_block(p, head);
    if (r < 0)
        return -1;
    long f = find_char_infile("filename", p);
    if (f >= 0 && f < r) {
        std::string name = attachment_name_bytes(read_range(f, r, 8192));
        if (attach_name)
            utf8_copy(attach_name, email_attach_name_max + 1,
                      mail_text_to_utf8(name, marked_utf(head)));
    }
    return r;
}

std::string safe_attach_name(std::string_view name)
{
    std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    std::string out;
    for (unsigned char c : name)
        if (c >= 0x20 && c != 0x7F)
            out += static_cast<char>(c);
    gchar* valid = g_utf8_make_valid(out.data(), static_cast<gssize>(out.size()));
    out = utf8_cut(valid, attach_name_bytes);
    g_free(valid);
    if (out.empty() || out == "." || out == "..")
        out = "attachment";
    return out;
}

std::string attach_file_path(std::string_view name)
{
    return "mail_save/attach/" + safe_attach_name(name);
}

int attach_to_file(const char* p_attach_name, long start_pos, int b_open)
{
    if (!p_attach_name)
        p_attach_name = "";
    g_mkdir_with_parents("mail_save/attach", 0755);
    std::string path = attach_file_path(p_attach_name);
    FILE* out = create_file(path);
    if (!out)
        return -1;

    line_reader reader(start_pos);
    std::string line;
    bool have = reader.next(&line);
    while (have && line.empty())  // leading empty lines
        have = reader.next(&line);
    // The decoder works on groups of four characters; what is left of a line
    // is carried into the next one, so lines of any length decode exactly.
    std::string carry;
    bool padded = false;
    bool written = true;
    auto put = [&](const std::string& bytes) {
        written = written && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    };
    while (have && !is_blank_line(line) && !is_delimiter(line) && !padded) {
        carry += base64_chars(line, &padded);
        std::size_t whole = padded ? carry.size() : carry.size() / 4 * 4;
        if (whole > 0) {
            put(decode_base64(carry.substr(0, whole)));
            carry.erase(0, whole);
        }
        have = reader.next(&line);
    }
    if (!carry.empty())
        put(decode_base64(carry));
    written = std::fclose(out) == 0 && written;
    if (!written) {
        // A partly written file is no export.
        std::remove(path.c_str());
        return -1;
    }
    if (b_open == 1)
        open_with_default_program(path.c_str());
    return 0;
}
