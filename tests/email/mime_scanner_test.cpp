// The MIME scanners over mails made by Python's email package
// (make_scanner_mails.py): bodies, attachment names and exported attachments
// against what the generator put in, with the decoder of "email_decode.dll"
// and with the built-in one; then broken mails and attachment names.

#include "email/email_decode.h"

#include "companion/extern.h"
#include "support/run_module.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using strings = std::vector<std::string>;

namespace {

strings lines_of(const std::string& text)
{
    strings out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

class MimeScanner : public ::testing::TestWithParam<bool> {  // decoder of the module?
protected:
    void SetUp() override
    {
        DecodeBase64_interface = GetParam()
            ? module_entry<void(char*, char*)>("email_decode.dll", "DecodeBase64_interface")
            : nullptr;
        ASSERT_TRUE(DecodeBase64_interface || !GetParam());
    }
    void TearDown() override { DecodeBase64_interface = nullptr; }
};

TEST_P(MimeScanner, BodiesNamesAndExportsAreWhatWasSent)
{
    scratch_dir dir;
    std::string cmd = PYTHON3 " " SOURCE_DIR "/tests/email/make_scanner_mails.py mails";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    write_file("config", "keep");

    for (const std::string& mail : lines_of(read_file("mails/manifest"))) {
        SCOPED_TRACE(mail);
        std::string base = "mails/" + mail;
        ASSERT_EQ(open_email(base.c_str()), 0);
        char body[email_content_size];
        bool has_body = fs::exists(base + ".body");
        EXPECT_EQ(GetContent_text(body), has_body ? 0 : -1);
        EXPECT_EQ(std::string(body), has_body ? read_file(base + ".body") : "");

        strings names;
        std::vector<long> starts;
        char name[email_attach_name_size];
        for (long pos = 0; (pos = GetAttachment(name, pos)) >= 0;) {
            names.push_back(name);
            starts.push_back(pos);
        }
        EXPECT_EQ(names, lines_of(read_file(base + ".names")));
        for (std::size_t i = 0; i < names.size(); ++i) {
            ASSERT_EQ(attach_to_file(names[i].c_str(), starts[i], 0), 0);
            std::string got = read_file(attach_file_path(names[i]));
            std::string want = read_file(base + ".att" + std::to_string(i));
            EXPECT_TRUE(got == want)
                << names[i] << ": " << got.size() << " bytes of " << want.size();
        }
        close_file_email();
    }

    // "../../config", plain and as a "?B?" word, stayed inside the folder.
    EXPECT_EQ(read_file("config"), "keep");
}

INSTANTIATE_TEST_SUITE_P(Decoders, MimeScanner, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "module" : "builtin"; });

TEST(MimeScannerFiles, BrokenMailsGiveNothingAndGbNamedFilesOpen)
{
    scratch_dir dir;
    struct {
        const char* what;
        std::string data;
    } cases[] = {
        {"empty", ""},
        {"headers cut off", "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Enc"},
        {"no terminator",
         "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n" +
             std::string(3000, 'A')},
        {"quoted-printable",
         "Content-Type: text/plain\r\nContent-Transfer-Encoding: "
         "quoted-printable\r\n\r\nx=20y\r\n"},
        {"attachment cut off",
         "Content-Disposition: attachment; filename=\"" + std::string(5000, 'n')},
        {"zero bytes", std::string(2000, '\0') + "Content-Type: text/plain\r\n\r\n"},
    };
    char body[email_content_size];
    for (const auto& c : cases) {
        write_file("bad.eml", c.data);
        ASSERT_EQ(open_email("bad.eml"), 0);
        char name[email_attach_name_size];
        EXPECT_EQ(GetContent_text(body), -1) << c.what;
        EXPECT_STREQ(body, "") << c.what;
        EXPECT_EQ(GetAttachment(name, 0), -1) << c.what;
        close_file_email();
    }
    EXPECT_EQ(open_email("missing.eml"), -1);
    EXPECT_EQ(GetContent_text(body), -1);

    // A file whose name is not UTF-8 opens by the name's UTF-8 form.
    write_file("\xd6\xd0\xce\xc4.eml",
               "Content-Type: text/plain; charset=utf-8\r\n"
               "Content-Transfer-Encoding: base64\r\n\r\n5Lit5paH\r\n");
    ASSERT_EQ(open_email("中文.eml"), 0);
    EXPECT_EQ(GetContent_text(body), 0);
    EXPECT_STREQ(body, "中文");
    close_file_email();
}

TEST(MimeScannerNames, SafeBaseNames)
{
    std::string chinese;
    for (int i = 0; i < 190; ++i)
        chinese += "文";
    struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"../../config", "config"},     {"..\\..\\boot.ini", "boot.ini"},
        {"..", "attachment"},           {"", "attachment"},
        {"a\x01\tb\x7f.txt", "ab.txt"}, {chinese, chinese.substr(0, 198)},  // cut at a character
    };
    for (const auto& c : cases)
        EXPECT_EQ(attach_file_path(c.in), "mail_save/attach/" + c.out) << c.in;
}

}  // namespace
