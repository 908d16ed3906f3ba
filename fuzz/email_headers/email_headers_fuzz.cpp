// The header and recipient decoding of "email_decode.dll" over an arbitrary
// mail file: header values, recipients and base64, each within its buffer,
// terminated, and valid UTF-8 or UTF-16.

#include <glib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

#include "email_decode_module.h"
#include "fuzz_check.h"

namespace {

std::string g_mail;
gunichar2* g_path = nullptr;

bool valid_utf16(const gunichar2* text, std::size_t units)
{
    std::size_t n = 0;
    while (n < units && text[n] != 0)
        ++n;
    if (n == units)
        return false;
    glong written = 0;
    gchar* utf8 = g_utf16_to_utf8(text, static_cast<glong>(n), nullptr, &written, nullptr);
    g_free(utf8);
    return utf8 != nullptr;
}

bool terminated_utf8(const char* buf, std::size_t size)
{
    return std::memchr(buf, '\0', size) != nullptr && g_utf8_validate(buf, -1, nullptr);
}

// Two of the headers, picked by the input's size: each call reads and parses
// the mail anew, so all of them for every input would be slow.
void check_headers(std::size_t size)
{
    static const char* const names[] = {"From:",   "To:",  "Cc:",           "Subject:", "Reply-To:",
                                        "Sender:", "date", "Content-Type:", "X-Mailer:"};
    constexpr std::size_t count = sizeof names / sizeof names[0];
    std::string head = names[size % count];
    gunichar2 out[email_header_units];
    std::memset(out, 0x55, sizeof out);
    const int rc = GetStrByHead_one_block_interface(head.data(), out, g_path);
    FUZZ_CHECK(rc == 0 || rc == -1);
    FUZZ_CHECK(valid_utf16(out, email_header_units));
    head = names[size / count % count];
    char buf[email_header_bytes];
    std::memset(buf, 0x55, sizeof buf);
    Get_Str_By_Head(head.data(), buf, g_path);
    FUZZ_CHECK(terminated_utf8(buf, sizeof buf));
}

void check_recipients()
{
    const int n = GetEmail_To_interface(g_path);
    FUZZ_CHECK(n >= 0);
    const auto* to = reinterpret_cast<const email_to_name_*>(Get_to_buf());
    FUZZ_CHECK(to != nullptr);
    for (int i = 0; i < n; ++i) {
        FUZZ_CHECK(terminated_utf8(to[i].ch_name, sizeof to[i].ch_name));
        FUZZ_CHECK(valid_utf16(to[i].wch_name, mail_to_units));
    }
}

void check_base64(const uint8_t* data, size_t size)
{
    std::string in(reinterpret_cast<const char*>(data), std::min<size_t>(size, 4096));
    in.erase(std::remove(in.begin(), in.end(), '\0'), in.end());
    std::size_t alphabet = 0;
    for (unsigned char c : in)
        alphabet += g_ascii_isalnum(c) || c == '+' || c == '/';
    std::string out(alphabet * 3 / 4 + 1, '\x55');
    DecodeBase64_interface(in.data(), out.data());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gchar* dir = g_dir_make_tmp("headers-fuzz-XXXXXX", nullptr);
    g_mail = std::string(dir) + "/mail.eml";
    g_free(dir);
    g_path = g_utf8_to_utf16(g_mail.c_str(), -1, nullptr, nullptr, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::ofstream(g_mail, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    check_headers(size);
    check_recipients();
    check_base64(data, size);
    return 0;
}
