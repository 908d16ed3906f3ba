// The utility module, opened from the run directory as the program opens it.
#include "modules/linux_extern/fake_opener.h"
#include "support/run_module.h"

#include <glib.h>
#include <gtest/gtest.h>

#include "base/utf16.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <sys/wait.h>

// The escaping itself is tested in tests/app/extern_test.cpp; here, that the
// module escapes in place within the 2 * len + 1 bytes its callers provide.
TEST(LinuxExtern, SqlCorrectStaysWithinTwiceTheLengthPlusOne)
{
    auto sql_correct = module_entry<void(char*)>("linux_extern.dll", "sql_correct");
    ASSERT_NE(sql_correct, nullptr);
    for (const std::string text : {"\\'\"\r\n\032''", "日志 log"}) {
        std::vector<char> buf(2 * text.size() + 1 + 8, '#');  // guard bytes after the room
        std::memcpy(buf.data(), text.c_str(), text.size() + 1);
        sql_correct(buf.data());
        EXPECT_EQ(std::string(buf.end() - 8, buf.end()), "########") << text;
    }
    sql_correct(nullptr);
}

// An entry the program looks up but does not call.
TEST(LinuxExtern, ConvertWebAddrDecodesWithinTheBuffer)
{
    auto convert = module_entry<void(char*, char*, int)>("linux_extern.dll", "Convert_web_addr");
    ASSERT_NE(convert, nullptr);
    // Bad escapes and %00 stay as they are; the result is cut to the buffer,
    // never inside a character; the same buffer may be given twice.
    char in[] = "http://h/%E6%97%A5?q=%41%2x%g0%00%", out[64];
    convert(in, out, sizeof out);
    EXPECT_STREQ(out, "http://h/日?q=A%2x%g0%00%");
    char twice[] = "%E6%97%A5%E6%97%A5";
    convert(twice, twice, 6);
    EXPECT_STREQ(twice, "日");
    convert(nullptr, out, sizeof out);
    EXPECT_STREQ(out, "");
}

TEST(LinuxExtern, OpenersStartXdgOpenWithoutShellOrWaiting)
{
    // exe_open_file is the same as exe_open_file_2, which the program calls.
    auto exe_open_file_2 = module_entry<void(gunichar2*)>("linux_extern.dll", "exe_open_file_2");
    auto open_ie = module_entry<void(gchar*)>("linux_extern.dll", "open_ie");
    ASSERT_TRUE(exe_open_file_2 && open_ie);

    fake_opener opener;
    const std::string marker = (opener.dir() / "shell-ran").string();
    std::string tricky = "/tmp/日志 export; touch " + marker + " $(id) 'q\".xls";
    utf16_string wide = utf16_from_utf8(tricky);
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { exe_open_file_2(wide.data()); }, tricky},
        {[&] { open_ie(tricky.data()); }, tricky},
        {[&] { open_ie(const_cast<gchar*>("-v.eml")); }, "./-v.eml"},  // not an option
    };
    for (const auto& [call, expect] : cases) {
        opener.reset();
        call();
        // Returned while the opener still waits, and left no child behind.
        errno = 0;
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << expect;
        EXPECT_EQ(errno, ECHILD) << expect;
        EXPECT_EQ(opener.release_and_read(), expect);
        EXPECT_EQ(opener.argc(), "1") << expect;
    }
    EXPECT_FALSE(std::filesystem::exists(marker)) << "a shell ran the path";

    // Nothing to open: nothing is started, nothing breaks.
    exe_open_file_2(nullptr);
    open_ie(nullptr);
    open_ie(const_cast<gchar*>(""));
}
