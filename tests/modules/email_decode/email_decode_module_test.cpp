// "email_decode.dll" loaded from the run directory as the program loads it:
// header values and recipients of mails that make_header_mails.py writes,
// against what Python's email package reads from them; base64 decoding.

#include "base/mail_records.h"
#include "base/utf16.h"
#include "support/scratch_dir.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct module_api {
    int (*head_utf8)(char*, void*, gunichar2*);
    void (*base64)(char*, char*);
    int (*to_count)(gunichar2*);
    char* (*to_buf)();
    int (*head)(char*, gunichar2*, gunichar2*);
};

const module_api& api()
{
    static void* h = dlopen(RUN_DIR "/email_decode.dll", RTLD_NOW | RTLD_LOCAL);
    auto sym = [](const char* name) { return h ? dlsym(h, name) : nullptr; };
    static module_api a{reinterpret_cast<int (*)(char*, void*, gunichar2*)>(sym("Get_Str_By_Head")),
                        reinterpret_cast<void (*)(char*, char*)>(sym("DecodeBase64_interface")),
                        reinterpret_cast<int (*)(gunichar2*)>(sym("GetEmail_To_interface")),
                        reinterpret_cast<char* (*)()>(sym("Get_to_buf")),
                        reinterpret_cast<int (*)(char*, gunichar2*, gunichar2*)>(
                            sym("GetStrByHead_one_block_interface"))};
    return a;
}

constexpr std::size_t header_units = 200; // the module's output size
const std::string missing = "\x01";

std::string unescape(const std::string& field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 1 < field.size()) {
            char c = field[++i];
            out += c == 't' ? '\t' : c == 'n' ? '\n' : c;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::vector<std::string>> expected_rows(const std::string& file)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(read_file(file));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream f(line);
        for (std::string x; std::getline(f, x, '\t');)
            fields.push_back(unescape(x));
        if (line.back() == '\t')
            fields.push_back("");
        rows.push_back(fields);
    }
    return rows;
}

// The header through both entries: UTF-16 and UTF-8; nullopt-like "\x01"
// when the module reports it missing.
std::string header(const std::string& head, const std::string& path)
{
    utf16_string wide = utf16_from_utf8(path);
    std::string h = head + ":";
    gunichar2 out[header_units];
    out[0] = 'x';
    int rc = api().head(h.data(), out, wide.data());
    char utf8[1000] = "x";
    int rc8 = api().head_utf8(h.data(), utf8, wide.data());
    EXPECT_EQ(rc, rc8);
    if (rc != 0) {
        EXPECT_EQ(out[0], 0);
        EXPECT_STREQ(utf8, "");
        return missing;
    }
    EXPECT_EQ(rc, 0);
    std::string value = utf16_to_utf8(out);
    EXPECT_EQ(std::string(utf8).substr(0, value.size()), value);
    return value;
}

// What fits the output: 199 UTF-16 units.
std::string cut(const std::string& value)
{
    utf16_string wide = utf16_from_utf8(value);
    if (wide.size() > header_units - 1)
        wide.resize(header_units - 1);
    return utf16_to_utf8(wide.data(), wide.size());
}

class EmailDecode : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(api().head_utf8 && api().base64 && api().to_count && api().to_buf && api().head)
            << dlerror();
        std::string cmd = PYTHON3 " " SOURCE_DIR "/tests/modules/email_decode/make_header_mails.py mails";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    scratch_dir dir_;
};

TEST_F(EmailDecode, HeadersAndRecipientsAsPythonReadsThem)
{
    std::string mail;
    std::vector<std::string> addresses, shown;
    int count = -1;
    auto check_recipients = [&] {
        if (mail.empty())
            return;
        SCOPED_TRACE(mail + " recipients");
        utf16_string wide = utf16_from_utf8("mails/" + mail);
        int n = api().to_count(wide.data());
        EXPECT_EQ(n, count);
        const email_to_name_* to = reinterpret_cast<const email_to_name_*>(api().to_buf());
        ASSERT_NE(to, nullptr);
        for (int i = 0; i < n && i < static_cast<int>(addresses.size()); ++i) {
            EXPECT_EQ(std::string(to[i].ch_name), addresses[static_cast<std::size_t>(i)]);
            EXPECT_EQ(utf16_to_utf8(to[i].wch_name), shown[static_cast<std::size_t>(i)]);
        }
    };
    for (const auto& row : expected_rows("mails/expected")) {
        ASSERT_GE(row.size(), 3u);
        if (row[1] != mail) {
            check_recipients();
            mail = row[1];
            addresses.clear();
            shown.clear();
        }
        if (row[0] == "H") {
            SCOPED_TRACE(mail + " " + row[2]);
            ASSERT_EQ(row.size(), 4u);
            std::string want = row[3] == missing ? missing : cut(row[3]);
            EXPECT_EQ(header(row[2], "mails/" + mail), want);
        } else if (row[0] == "N") {
            count = std::stoi(row[2]);
        } else if (row[0] == "R") {
            addresses.push_back(row[2]);
            shown.push_back(row[3]);
        }
    }
    check_recipients();
}

TEST_F(EmailDecode, FileNamesAndUnreadableMails)
{
    // A GB18030 file name, given as its characters.
    EXPECT_EQ(header("Subject", "mails/中文.eml"), "gb name");
    // Paths are not limited to 200 bytes: 190 Chinese characters.
    std::string part;
    for (int i = 0; i < 63; ++i)
        part += "路";
    fs::create_directories("mails/" + part + "/" + part);
    std::string path = "mails/" + part + "/" + part + "/" + part + "路.eml";
    fs::copy_file("mails/folded.eml", path);
    EXPECT_EQ(header("Cc", path), "carol@example.com");

    for (const char* bad : {"mails/none.eml", "mails", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(header("Subject", bad), missing);
        utf16_string wide = utf16_from_utf8(bad);
        EXPECT_EQ(api().to_count(wide.data()), 0);
        EXPECT_NE(api().to_buf(), nullptr);
    }
    EXPECT_EQ(api().to_count(nullptr), 0);
    utf16_string wide = utf16_from_utf8("mails/folded.eml");
    gunichar2 out[header_units];
    char none[] = "";
    EXPECT_EQ(api().head(none, out, wide.data()), -1);
    EXPECT_EQ(api().head(nullptr, out, wide.data()), -1);
}

TEST(EmailDecodeBase64, DecodedBytesThenZero)
{
    ASSERT_NE(api().base64, nullptr);
    struct {
        const char* in;
        std::string out;
    } cases[] = {
        {"", ""},
        {"QQ==", "A"},
        {"QUI=", "AB"},
        {"QUJD", "ABC"},
        {"QUJDRA==", "ABCD"},
        {"QUJD\r\nREVG\r\n", "ABCDEF"},
        {"Q U\tJ D", "ABC"},
        {"5Lit5paH", "中文"},
        {"AAEC", std::string("\0\1\2", 3)},
        {"QQ", "A"},                    // padding left off
        {"Q!Q@=#=", "A"},               // characters outside the alphabet skipped
        {"////", "\xff\xff\xff"},
    };
    for (const auto& c : cases) {
        std::vector<char> out(c.out.size() + 8, 'z');
        std::string in = c.in;
        api().base64(in.data(), out.data());
        EXPECT_EQ(std::string(out.data(), c.out.size()), c.out) << c.in;
        EXPECT_EQ(out[c.out.size()], '\0') << c.in;
    }
}

} // namespace
