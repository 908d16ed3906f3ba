// "email_decode.dll" from the run directory: header values and recipients of
// the mails make_header_mails.py writes, against what Python's email package
// reads from them; base64 decoding.

#include "base/mail_records.h"
#include "base/utf16.h"
#include "support/repeat_text.h"
#include "support/run_module.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using strings = std::vector<std::string>;

namespace {

const char* const dll = "email_decode.dll";
auto* const head_utf8 = module_entry<int(char*, void*, gunichar2*)>(dll, "Get_Str_By_Head");
auto* const base64 = module_entry<void(char*, char*)>(dll, "DecodeBase64_interface");
auto* const to_count = module_entry<int(gunichar2*)>(dll, "GetEmail_To_interface");
auto* const to_buf = module_entry<char*()>(dll, "Get_to_buf");
auto* const head_utf16 =
    module_entry<int(char*, gunichar2*, gunichar2*)>(dll, "GetStrByHead_one_block_interface");

constexpr std::size_t header_units = 200;  // the UTF-16 output's size
const std::string missing = "\x01";        // what the generator writes for no header

// A header through both entries, which must agree; `missing` when absent.
std::string header(const std::string& head, const std::string& path)
{
    utf16_string wide = utf16_from_utf8(path);
    std::string h = head + ":";
    gunichar2 out[header_units] = {'x'};
    char utf8[1000] = "x";
    int rc = head_utf16(h.data(), out, wide.data());
    EXPECT_EQ(head_utf8(h.data(), utf8, wide.data()), rc);
    if (rc != 0) {
        EXPECT_EQ(out[0], 0);
        EXPECT_STREQ(utf8, "");
        return missing;
    }
    std::string value = utf16_to_utf8(out);
    EXPECT_EQ(std::string(utf8).substr(0, value.size()), value);
    return value;
}

}  // namespace

// Also: a mail stored under a GB18030 name, a path beyond 200 bytes, a
// missing mail, a folder and null arguments.
TEST(EmailDecode, HeadersAndRecipientsAsPythonReadsThem)
{
    ASSERT_TRUE(head_utf8 && base64 && to_count && to_buf && head_utf16);
    scratch_dir dir;
    ASSERT_EQ(std::system(PYTHON3 " " SOURCE_DIR
                                  "/tests/modules/email_decode/make_header_mails.py mails"),
              0);
    std::istringstream lines(read_file("mails/expected"));
    for (std::string line; std::getline(lines, line);) {
        strings f;
        std::istringstream fields(line + "\t");  // an empty last field stays
        for (std::string x; std::getline(fields, x, '\t');) {
            gchar* plain = g_strcompress(x.c_str());  // \\, \t and \n
            f.push_back(plain);
            g_free(plain);
        }
        ASSERT_GE(f.size(), 3u) << line;
        const std::string path = "mails/" + f[1];
        if (f[0] == "H") {
            // What fits the UTF-16 output: 199 units.
            utf16_string want = utf16_from_utf8(f[3]);
            want.resize(std::min(want.size(), header_units - 1));
            EXPECT_EQ(header(f[2], path),
                      f[3] == missing ? missing : utf16_to_utf8(want.data(), want.size()))
                << f[1] << " " << f[2];
            continue;
        }
        const int n = to_count(utf16_from_utf8(path).data());
        const auto* to = reinterpret_cast<const email_to_name_*>(to_buf());
        strings got {"R", f[1], std::to_string(n)};
        for (int i = 0; i < n; ++i)
            got.push_back(std::string(to[i].ch_name) + "|" + utf16_to_utf8(to[i].wch_name));
        EXPECT_EQ(got, f);
    }

    EXPECT_EQ(header("Subject", "mails/中文.eml"), "gb name");
    const std::string part = repeat("路", 63);  // a folder: 190 characters in all
    fs::create_directories("mails/" + part + "/" + part);
    std::string path = "mails/" + part + "/" + part + "/" + part + "路.eml";
    fs::copy_file("mails/folded.eml", path);
    EXPECT_EQ(header("Cc", path), "carol@example.com");

    for (const char* bad : {"mails/none.eml", "mails"}) {
        EXPECT_EQ(header("Subject", bad), missing) << bad;
        EXPECT_EQ(to_count(utf16_from_utf8(bad).data()), 0) << bad;
    }
    EXPECT_EQ(to_count(nullptr), 0);
    gunichar2 out[header_units];
    EXPECT_EQ(head_utf16(nullptr, out, utf16_from_utf8("mails/folded.eml").data()), -1);
}

TEST(EmailDecode, Base64DecodedBytesThenZero)
{
    ASSERT_NE(base64, nullptr);
    // Bits short of a byte at the end dropped; '=', line breaks and others skipped.
    const std::pair<std::string, std::string> cases[] = {
        {"QUI=", "AB"},
        {"QUJD\r\nREVG\r\n", "ABCDEF"},
        {"Q!Q@=#=", "A"},
        {"AAEC", std::string("\0\1\2", 3)},
    };
    for (auto [in, want] : cases) {
        std::vector<char> out(want.size() + 8, 'z');
        base64(in.data(), out.data());
        EXPECT_EQ(std::string(out.data(), want.size() + 1), want + '\0') << in;
    }
}
