// The script bridge against scripts of the tests' own. The delivered scripts
// are followed through the bridge by the reception pipeline (the tables) and
// the e-mail view (headers and removal).
//
// The interpreter starts once per process, so every case runs in a child
// process that first changes into its own script directory.

#include "email/python_interface.h"
#include "support/capture.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>

namespace fs = std::filesystem;

namespace {

// Echoing scripts with a few keys that misbehave on purpose.
const char* const test_email_py = R"(
def add(a, b): return a + b
def GetEmail_subject(path, name):
    if path == "exit": raise SystemExit(3)
    if path == "int": return 5
    if path == "long": return "\u4e2d" * 100
    return path + "|" + name
def GetEmail_from(path, name): return "from:" + path
def removeFileInFirstDir(path):
    if path == "raise": raise OSError("cannot")
GetEmail_content = GetEmail_attach = create_excel = excel_write = add
excel_open_speed = excel_write_speed = excel_over_speed = add
)";

const char* const test_js_py = R"(
inits = []
def init_js_chinese(a): inits.append("chinese:" + a)
def init_js_en(a): inits.append("en:" + a)
def init_js_fanti(a): inits.append("fanti:" + a)
def get_js_value_chinese(key):
    if key == "raise": raise RuntimeError("bad key")
    if key == "bytes": return b"\xe4\xb8\xad\xff"
    if key == "inits": return ",".join(inits)
    if key.startswith("long:"): return key[5:] * 100
    return key
def get_js_value_en(key): return "en:" + key
def get_js_value_fanti(key): return "fanti:" + key
def get_js_b_exist_chinese(word):
    if word == "raise": raise KeyError(word)
    if word == "long": return "3" * 40
    return "3" if word == "link" else "1"
def get_js_values(key):
    if key == "two": return "a\0b"
    if key.startswith("long:"): return "\0".join([key[5:] * 100] * 3)
    return "\0".join(["1:" + key, "2:" + key, "3:" + key])
)";

// A scratch directory holding the two scripts.
struct script_dir : scratch_dir {
    script_dir(const std::string& email_py, const std::string& js_py)
    {
        write_file((path() / "my_email.py").string(), email_py);
        write_file((path() / "js_inter.py").string(), js_py);
    }
};

// Runs body in a child process inside dir, standard input from /dev/null;
// the child's expectations decide its exit status.
void in_child(const fs::path& dir, const std::function<void()>& body)
{
    std::fflush(stdout);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("PYTHONDONTWRITEBYTECODE", "1", 1);
        dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
        if (chdir(dir.c_str()) != 0)
            _exit(2);
        body();
        std::fflush(stdout);
        _exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "child ended by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Standard output of both start-up steps; standard error is dropped.
std::string start(int expect_1, int expect_2)
{
    return output_of(1, [=] {
        output_of(2, [=] {
            EXPECT_EQ(init_python_1(), expect_1);
            EXPECT_EQ(init_python_2(), expect_2);
        });
    });
}

// A wrapper's text, written into a buffer of '#' bytes that it must not
// write past the size its callers give it.
std::string call(int (*wrapper)(const char*, char*), const std::string& arg, int rc)
{
    char out[300];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(wrapper(arg.c_str(), out), rc);
    std::size_t size = py_js_size;
    if (wrapper == py_get_subject || wrapper == py_get_sender)
        size = py_header_size;
    else if (wrapper == py_js_get_b_exist_chinese)
        size = py_exist_size;
    EXPECT_EQ(out[size], '#');
    return out;
}

std::string repeat(const std::string& s, int n)
{
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

}  // namespace

// Results of each kind, cut on character boundaries to fit their buffers;
// any byte passes both ways; a failing call gives its fallback, leaves its
// error on standard error, and later calls still work.
TEST(Bridge, ResultsFallbacksAndCuts)
{
    script_dir dir(test_email_py, test_js_py);
    in_child(dir.path(), [] {
        EXPECT_EQ(start(0, 0), "");
        std::string high;  // every byte that is not ASCII, none of them valid UTF-8 alone
        for (int c = 128; c < 256; ++c)
            high += static_cast<char>(c);
        const std::tuple<int (*)(const char*, char*), std::string, int, std::string> cases[] = {
            {py_js_get_chinese, "inits", 0, "chinese:ok,en:ok,fanti:ok"},
            {py_get_sender, "m.eml", 0, "from:m.eml"},
            {py_get_subject, "dir/m.eml", 0, "dir/m.eml|c.eml"},
            {py_js_get_chinese, high, 0, high},
            {py_js_get_chinese, "bytes", 0, "\xe4\xb8\xad\xff"},
            {py_js_get_chinese, "long:a中", 0, repeat("a中", 47) + "a"},
            {py_get_subject, "long", 0, repeat("中", 66)},
            {py_js_get_b_exist_chinese, "long", 0, std::string(19, '3')},
            {py_get_subject, "int", -1, ""},
            {py_js_get_chinese, "raise", -1, "未找到相关js"},
            {py_js_get_b_exist_chinese, "raise", -1, "1"},
            {py_get_subject, "exit", -1, ""},  // SystemExit must not end the program
            {py_js_get_b_exist_chinese, "link", 0, "3"},
        };
        std::string err = output_of(2, [&] {
            for (const auto& [wrapper, arg, rc, text] : cases) {
                SCOPED_TRACE(arg);
                EXPECT_EQ(call(wrapper, arg, rc), text);
            }
            EXPECT_EQ(py_del_email_all("raise"), -1);
        });
        for (const char* part :
             {"returned int", "RuntimeError: bad key", "KeyError", "OSError: cannot"})
            EXPECT_NE(err.find(part), std::string::npos) << part << " in\n" << err;

        // The three texts in one call, cut like the single calls; a result
        // that is not three texts falls back to the three calls.
        std::string zh, en, tw;
        EXPECT_TRUE(py_js_get_all("a+b", zh, en, tw));
        EXPECT_EQ(zh + en + tw, "1:a+b2:a+b3:a+b");
        EXPECT_TRUE(py_js_get_all("two", zh, en, tw));
        EXPECT_EQ(zh + en + tw, "twoen:twofanti:two");
        py_js_get_all("long:中", zh, en, tw);
        EXPECT_EQ(zh, repeat("中", 63));
        EXPECT_EQ(tw, zh);
    });
}

// A start-up message waits for one character on a terminal, and for nothing
// otherwise: what stands on standard input stays unread.
TEST(BridgeStartup, MissingOrBrokenModules)
{
    scratch_dir empty;
    in_child(empty.path(), [] {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        ASSERT_EQ(write(fds[1], "abc", 3), 3);
        close(fds[1]);
        dup2(fds[0], STDIN_FILENO);
        EXPECT_EQ(start(-1, -1), "can't find pytest.py\ncan't find js_inter.py zx\n");
        char rest[8] = {};
        EXPECT_EQ(read(STDIN_FILENO, rest, sizeof rest), 3);
        EXPECT_EQ(py_del_email_all("a"), -1);

        int master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;  // no pseudo-terminal here: nothing more to check
        dup2(open(ptsname(master), O_RDWR | O_NOCTTY), STDIN_FILENO);
        ASSERT_EQ(write(master, "xyz\n", 4), 4);
        start(-1, -1);
        EXPECT_EQ(read(STDIN_FILENO, rest, sizeof rest), 2);
        EXPECT_EQ(std::string(rest, 2), "z\n");
    });
    script_dir broken("def add(:\n", test_js_py);
    in_child(broken.path(), [] {
        std::string err = output_of(2, [] { output_of(1, [] { init_python_1(); }); });
        EXPECT_NE(err.find("SyntaxError"), std::string::npos) << err;
    });
}

TEST(BridgeStartup, FirstMissingFunctionEndsTheLookUp)
{
    struct look_up_case {
        std::string email_extra, js_extra, said;
        int subject_rc, sender_rc, js_rc;
        std::string inits;
    };
    const std::string all_inits = "chinese:ok,en:ok,fanti:ok";
    const look_up_case cases[] = {
        {"del add\n", "", "can't find function [add]\n", -1, -1, 0, all_inits},
        {"GetEmail_from = 1\n", "", "can't find function [1]\n", 0, -1, 0, all_inits},
        // js_inter: no table is initialised; what was found before still answers.
        {"", "del get_js_b_exist_chinese\n", "can't find function [2]\n", 0, 0, 0, ""},
        {"", "del init_js_chinese\n", "can't find function [2]\n", 0, 0, -1, "未找到相关js"},
    };
    for (const look_up_case& c : cases) {
        SCOPED_TRACE(c.email_extra + c.js_extra);
        script_dir dir(test_email_py + c.email_extra, test_js_py + c.js_extra);
        in_child(dir.path(), [&] {
            EXPECT_EQ(start(c.email_extra.empty() ? 0 : -1, c.js_extra.empty() ? 0 : -1), c.said);
            call(py_get_subject, "a", c.subject_rc);
            call(py_get_sender, "a", c.sender_rc);
            EXPECT_EQ(call(py_js_get_chinese, "inits", c.js_rc), c.inits);
            const bool js_ok = c.js_extra.empty();
            EXPECT_EQ(call(py_js_get_b_exist_chinese, "link", js_ok ? 0 : -1), js_ok ? "3" : "1");
        });
    }
}
