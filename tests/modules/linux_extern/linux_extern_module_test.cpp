// The utility module, opened from the run directory as the program opens it.
#include "modules/linux_extern/fake_opener.h"

#include <gmodule.h>
#include <gtest/gtest.h>

#include "base/utf16.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

GModule* module = nullptr;

template <class Fn>
Fn entry(const char* name)
{
    gpointer p = nullptr;
    if (!module || !g_module_symbol(module, name, &p))
        return nullptr;
    return reinterpret_cast<Fn>(p);
}

class LinuxExtern : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string old = g_get_current_dir();
        ASSERT_EQ(chdir(RUN_DIR), 0);
        module = g_module_open("./linux_extern.dll", G_MODULE_BIND_LAZY);
        ASSERT_EQ(chdir(old.c_str()), 0);
        ASSERT_NE(module, nullptr) << g_module_error();
    }
};

// Sets TZ for one test and restores it.
class zone {
public:
    explicit zone(const char* tz)
    {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~zone()
    {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

std::string escaped(void (*sql_correct)(char*), const std::string& text, std::size_t room)
{
    // Room for the text, then guard bytes that must stay untouched.
    std::vector<char> buf(room + 8, '#');
    std::memcpy(buf.data(), text.c_str(), text.size() + 1);
    sql_correct(buf.data());
    EXPECT_EQ(std::string(buf.data() + room, 8), std::string(8, '#')) << "wrote past " << room;
    return buf.data();
}

}  // namespace

TEST_F(LinuxExtern, StoredClockIsUnixTimeMinusEightHours)
{
    auto get_current_time = entry<unsigned (*)()>("get_current_time");
    ASSERT_NE(get_current_time, nullptr);
    unsigned before = static_cast<unsigned>(std::time(nullptr) - 28800);
    unsigned t = get_current_time();
    unsigned after = static_cast<unsigned>(std::time(nullptr) - 28800);
    EXPECT_GE(t, before);
    EXPECT_LE(t, after);
}

TEST_F(LinuxExtern, TimeOfDayIsLocalTimeMinusEightHours)
{
    auto get_current_time_2 = entry<void (*)(int*, int*, int*)>("get_current_time_2");
    ASSERT_NE(get_current_time_2, nullptr);
    // In a zone 8 hours east of UTC the result is the UTC time of day; in
    // UTC it is 8 hours behind, wrapping below midnight.
    for (auto [tz, shift] : {std::pair{"CST-8", 0}, std::pair{"UTC0", -8}, std::pair{"EST5", -13}}) {
        zone z(tz);
        int h = -1, m = -1, s = -1;
        time_t now;
        struct tm utc {};
        do {  // retry if the second changed under the call
            now = std::time(nullptr);
            get_current_time_2(&h, &m, &s);
        } while (std::time(nullptr) != now);
        gmtime_r(&now, &utc);
        EXPECT_EQ(h, (utc.tm_hour + shift + 48) % 24) << tz;
        EXPECT_EQ(m, utc.tm_min) << tz;
        EXPECT_EQ(s, utc.tm_sec) << tz;
    }
    get_current_time_2(nullptr, nullptr, nullptr);  // skipped, no crash
}

TEST_F(LinuxExtern, SqlCorrectEscapesEverySpecialCharacter)
{
    auto sql_correct = entry<void (*)(char*)>("sql_correct");
    ASSERT_NE(sql_correct, nullptr);
    std::string in = "a\\b'c\"d\re\nf\032g";
    EXPECT_EQ(escaped(sql_correct, in, 2 * in.size() + 1), "a\\\\b\\'c\\\"d\\re\\nf\\Zg");

    // Nothing but special characters needs exactly 2 * len + 1 bytes.
    std::string worst = "\\'\"\r\n\032''";
    EXPECT_EQ(escaped(sql_correct, worst, 2 * worst.size() + 1), "\\\\\\'\\\"\\r\\n\\Z\\'\\'");

    // Plain and multi-byte text is left alone; an empty text stays empty.
    EXPECT_EQ(escaped(sql_correct, "日志 log; -- %_", 64), "日志 log; -- %_");
    EXPECT_EQ(escaped(sql_correct, "", 1), "");
    sql_correct(nullptr);
}

TEST_F(LinuxExtern, LookedUpOnlyEntriesWork)
{
    auto wcslen_ = entry<int (*)(gunichar2*)>("wcslen_");
    auto convert = entry<void (*)(char*, char*, int)>("Convert_web_addr");
    ASSERT_NE(wcslen_, nullptr);
    ASSERT_NE(convert, nullptr);

    char16_t wide[] = u"日志abc😀";
    EXPECT_EQ(wcslen_(reinterpret_cast<gunichar2*>(wide)), 7) << "UTF-16 units";
    EXPECT_EQ(wcslen_(nullptr), 0);

    char out[64];
    char addr[] = "http://h/%E6%97%A5?q=%41%2x%g0%00%";
    convert(addr, out, sizeof out);
    EXPECT_STREQ(out, "http://h/日?q=A%2x%g0%00%") << "bad escapes and %00 stay as they are";

    // Cut to the buffer, never inside a character.
    char jp[] = "%E6%97%A5%E6%97%A5";
    convert(jp, out, 4);
    EXPECT_STREQ(out, "日");
    convert(jp, out, 6);
    EXPECT_STREQ(out, "日");
    convert(jp, out, 3);
    EXPECT_STREQ(out, "");

    // Decoding into the same buffer.
    char same[32] = "a%20b";
    convert(same, same, sizeof same);
    EXPECT_STREQ(same, "a b");
    convert(nullptr, out, sizeof out);
    EXPECT_STREQ(out, "");
}

TEST_F(LinuxExtern, OpenersStartXdgOpenWithoutShellOrWaiting)
{
    auto exe_open_file = entry<void (*)(gunichar2*)>("exe_open_file");
    auto exe_open_file_2 = entry<void (*)(gunichar2*)>("exe_open_file_2");
    auto open_ie = entry<void (*)(gchar*)>("open_ie");
    ASSERT_NE(exe_open_file, nullptr);
    ASSERT_NE(exe_open_file_2, nullptr);
    ASSERT_NE(open_ie, nullptr);

    fake_opener opener;
    std::string marker = (opener.dir() / "shell-ran").string();
    std::string tricky = "/tmp/日志 export; touch " + marker + " $(id) 'q\".xls";
    utf16_string wide_tricky = utf16_from_utf8(tricky);

    struct { const char* what; std::function<void()> call; std::string expect; } cases[] = {
        {"exe_open_file_2", [&] { exe_open_file_2(wide_tricky.data()); }, tricky},
        {"exe_open_file", [&] { exe_open_file(wide_tricky.data()); }, tricky},
        {"open_ie", [&] { open_ie(tricky.data()); }, tricky},
        {"leading dash", [&] { open_ie(const_cast<gchar*>("-v.eml")); }, "./-v.eml"},
    };
    for (auto& c : cases) {
        opener.reset();
        c.call();
        // Returned while the opener still waits, and left no child behind.
        errno = 0;
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << c.what;
        EXPECT_EQ(errno, ECHILD) << c.what;
        EXPECT_EQ(opener.release_and_read(), c.expect) << c.what;
        EXPECT_EQ(opener.argc(), "1") << c.what;
    }
    EXPECT_FALSE(std::filesystem::exists(marker)) << "a shell ran the path";

    // Nothing to open: nothing is started, nothing breaks.
    exe_open_file_2(nullptr);
    open_ie(nullptr);
    open_ie(const_cast<gchar*>(""));
}
