// The MIME scanners of the e-mail panes over an arbitrary mail file: the
// header block, the boundary, the lines, the plain-text body and every
// attachment with its export. Texts for widgets are valid UTF-8 within their
// buffers; exported attachments stay in "mail_save/attach".

#include <glib.h>
#include <glib/gstdio.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "email/email_decode.h"
#include "fuzz_check.h"

namespace {

std::string g_mail;  // the mail file, in a scratch working directory

bool terminated_utf8(const char* buf, std::size_t size)
{
    return std::memchr(buf, '\0', size) != nullptr && g_utf8_validate(buf, -1, nullptr);
}

void check_attach_name(const std::string& raw)
{
    const std::string safe = safe_attach_name(raw);
    FUZZ_CHECK(!safe.empty() && safe.size() <= 200);
    FUZZ_CHECK(safe != "." && safe != "..");
    FUZZ_CHECK(safe.find('/') == std::string::npos && safe.find('\\') == std::string::npos);
    for (unsigned char c : safe)
        FUZZ_CHECK(c >= 0x20 && c != 0x7F);
}

void scan_lines()
{
    char line[email_line_size];
    long pos = 0;
    for (int i = 0; i < 200 && pos >= 0; ++i) {
        std::memset(line, 0x55, sizeof line);
        long next = get_one_line(line, pos);
        FUZZ_CHECK(next == -1 || next == -2 || next > pos);
        if (next >= 0)
            FUZZ_CHECK(std::memchr(line, '\0', sizeof line) != nullptr);
        pos = next == -2 ? pos + 1 : next;
    }
}

void scan_attachments()
{
    long pos = 0;
    for (int i = 0; i < 20; ++i) {
        char name[email_attach_name_size];
        std::memset(name, 0x55, sizeof name);
        const long body = GetAttachment(name, pos);
        if (body < 0)
            return;
        FUZZ_CHECK(body > pos || i == 0);
        FUZZ_CHECK(terminated_utf8(name, sizeof name));
        FUZZ_CHECK(std::strlen(name) <= email_attach_name_max);
        check_attach_name(name);
        if (i < 3 && attach_to_file(name, body, 0) == 0)
            FUZZ_CHECK(std::filesystem::is_regular_file(attach_file_path(name)));
        pos = body;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gchar* dir = g_dir_make_tmp("mime-fuzz-XXXXXX", nullptr);
    FUZZ_CHECK(dir != nullptr && g_chdir(dir) == 0);
    g_mail = std::string(dir) + "/mail.eml";
    g_free(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::ofstream(g_mail, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    check_attach_name(
        std::string(reinterpret_cast<const char*>(data), std::min<size_t>(size, 300)));
    FUZZ_CHECK(open_email(g_mail.c_str()) == 0);

    FUZZ_CHECK(find_text_start() >= -1);
    char head[email_head_size];
    std::memset(head, 0x55, sizeof head);
    const long body = get_head_block(0, head);
    if (body >= 0)
        FUZZ_CHECK(std::memchr(head, '\0', sizeof head) != nullptr);
    char boundary[email_boundary_size];
    std::memset(boundary, 0x55, sizeof boundary);
    GetBoundary_2(boundary, body >= 0 ? body : 1000);
    FUZZ_CHECK(std::memchr(boundary, '\0', sizeof boundary) != nullptr);
    scan_lines();
    char text[email_content_size];
    std::memset(text, 0x55, sizeof text);
    if (GetContent_text(text) == 0)
        FUZZ_CHECK(terminated_utf8(text, sizeof text));
    scan_attachments();
    close_file_email();
    std::error_code ec;
    std::filesystem::remove_all("mail_save", ec);
    return 0;
}
