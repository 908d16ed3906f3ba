// Loading the companion modules from the working directory, and the checked
// calls into the utility module.
#include "companion/extern.h"
#include "base/notice.h"
#include "base/other_func.h"
#include "companion/parse.h"
#include "modules/linux_extern/fake_opener.h"
#include "receive/udp.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

// The reception pipeline defines the receiver callbacks; these stand in when
// the test is linked without it.
extern "C" __attribute__((weak)) void MyRecvProc(tagCommunicationData_*) { }
extern "C" __attribute__((weak)) void MyRecvProc_tcp(tagCommunicationData_*) { }

namespace {

std::vector<std::string> shown;

struct notice_log {
    notice_log()
    {
        shown.clear();
        set_notice_sink([](const char* text) { shown.emplace_back(text); });
    }
    ~notice_log() { set_notice_sink(nullptr); }
};

const std::string run_dir = RUN_DIR "/";
const std::string fake_receiver = run_dir + "../test-modules/fake_receiver.so";

void place(const std::string& from, const char* as)
{
    std::filesystem::copy_file(from, as, std::filesystem::copy_options::overwrite_existing);
}

// Loads the utility module in the working directory, or finds none there.
void load_utility(bool with_module)
{
    if (with_module)
        place(run_dir + "linux_extern.dll", "linux_extern.dll");
    ASSERT_EQ(init_extern_func(), with_module);
}

bool linux_extern_all_unset()
{
    return !get_current_time && !get_current_time_2 && !sql_correct && !wcslen_ &&
        !Convert_web_addr && !exe_open_file && !exe_open_file_2 && !open_ie;
}

}  // namespace

// Real modules lacking the loaders' entries: each loader shows its message,
// in start-up order, sets nothing and goes on. (Missing modules and their
// messages are followed through the whole start-up in app_gui_test.)
TEST(CompanionModules, ModulesWithoutTheirEntriesShowTheirMessagesInOrder)
{
    scratch_dir dir;
    notice_log log;
    place(run_dir + "parse.dll.dll", "linux_extern.dll");
    for (const char* name : {"email_file.dll", "email_decode.dll", "tcp_dll.dll",
                             "vc_dll_excel.dll", "udp.so", "parse.dll.dll"})
        place(run_dir + "linux_extern.dll", name);
    EXPECT_FALSE(init_extern_func());
    EXPECT_FALSE(init_extern_func_2());
    EXPECT_FALSE(init_extern_func_3());
    EXPECT_FALSE(init_extern_func_4(MyRecvProc_tcp));
    EXPECT_FALSE(init_vc_excel());
    EXPECT_FALSE(load_parse());
    udp_thread();
    EXPECT_EQ(shown, (std::vector<std::string> {"err3", "err9", "err15", "err18", "err3"}));
    EXPECT_TRUE(linux_extern_all_unset());
    EXPECT_FALSE(Get_Email_Name || GetFileName_buf || DecodeBase64_interface || Get_to_buf ||
                 tcp_interface_SetFunc || vc_create_excel || vc_close_excel);
    EXPECT_FALSE(Convert_text_ || get_char || get_wchar);
    udp_stop();
    udp_counts counts {};
    EXPECT_FALSE(udp_counts_get(&counts));
}

TEST(CompanionModules, OwnModulesLoadFromTheWorkingDirectoryAndFailingReceiversSaySo)
{
    scratch_dir dir;
    notice_log log;
    place(run_dir + "linux_extern.dll", "linux_extern.dll");
    place(run_dir + "parse.dll.dll", "parse.dll.dll");
    place(fake_receiver, "tcp_dll.dll");
    place(fake_receiver, "udp.so");
    EXPECT_TRUE(init_extern_func());
    EXPECT_TRUE(get_current_time && get_current_time_2 && sql_correct && wcslen_ &&
                Convert_web_addr && exe_open_file && exe_open_file_2 && open_ie);
    EXPECT_TRUE(load_parse());
    EXPECT_TRUE(Convert_text_ && get_char && get_wchar);
    EXPECT_TRUE(shown.empty());

    // Receivers that fail to start (the real ones starting is followed in the
    // reception suites).
    setenv("FAKE_RECEIVER_RESULT", "-1", 1);
    EXPECT_FALSE(init_extern_func_4(MyRecvProc_tcp));
    udp_thread();
    unsetenv("FAKE_RECEIVER_RESULT");
    // A reload in a folder without the module clears what the last load found.
    scratch_dir empty;
    EXPECT_FALSE(init_extern_func());
    EXPECT_TRUE(linux_extern_all_unset());
    EXPECT_EQ(
        shown,
        (std::vector<std::string> {"邮件接收tcp建立失败,其它功能正常", "打开udp失败", "err2"}));
}

// The one home of the stored clock's and of SQL escaping's tests, through the
// module and its fallback. The stored clock is Unix time minus 8 hours;
// ConvertTime shows a stored time as the local wall clock. Escaping gives
// MariaDB's escape for every special character (a stored text with quotes is
// read back whole in the reception pipeline's suite).
TEST(CheckedCalls, StoredClockAndSqlEscapingWithModuleAndFallback)
{
    // Every special character, a NUL inside, and multi-byte text.
    const char specials_bytes[] = "a\\b'c\"d\re\nf\032g\0h日志";
    const std::string specials(specials_bytes, sizeof specials_bytes - 1);
    for (bool with_module : {true, false}) {
        SCOPED_TRACE(with_module ? "module" : "fallback");
        scratch_dir dir;
        load_utility(with_module);
        // The stored clock does not follow the local zone; ConvertTime does.
        for (const char* tz : {"CST-8", "UTC0", "EST5"}) {
            setenv("TZ", tz, 1);
            tzset();
            const time_t before = std::time(nullptr);
            const unsigned stored = current_time();
            const time_t after = std::time(nullptr);
            EXPECT_GE(stored, unsigned(before - 28800)) << tz;
            EXPECT_LE(stored, unsigned(after - 28800)) << tz;
            struct tm local { };
            localtime_r(&before, &local);
            char wall[32];
            std::strftime(wall, sizeof wall, "%Y-%m-%d %H:%M:%S", &local);
            EXPECT_STREQ(ConvertTime(unsigned(before - 28800)), wall) << tz;
        }
        unsetenv("TZ");
        tzset();

        EXPECT_EQ(sql_correct_text(specials), "a\\\\b\\'c\\\"d\\re\\nf\\Zg\\0h日志");
        EXPECT_EQ(sql_correct_text(std::string("\0\0", 2)), "\\0\\0");
        EXPECT_EQ(sql_correct_text(""), "");
    }
}

// The paths' way to the opener is followed in the e-mail view's suite; here,
// what starts nothing: text that is not UTF-8, no text, no module.
TEST(CheckedCalls, OpenersStartNothingForBadTextOrWithoutTheModule)
{
    fake_opener opener;
    {
        scratch_dir dir;
        load_utility(true);
    }
    open_with_default_program("\xff\xfe");
    open_with_default_program(nullptr);
    open_mail_file(nullptr);
    scratch_dir dir;
    load_utility(false);
    open_with_default_program("/tmp/a.xls");
    open_mail_file("/tmp/b.eml");
    std::ofstream(opener.dir() / "go") << "go";
    g_usleep(300 * 1000);
    EXPECT_FALSE(std::filesystem::exists(opener.dir() / "out"));
}
