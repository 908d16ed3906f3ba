// The text-conversion module, opened from the run directory as the program
// opens it.
#include <gmodule.h>
#include <gtest/gtest.h>

#include <string>

#include "base/utf16.h"

#include <unistd.h>

namespace {

void (*Convert_text_)(gunichar2*, int) = nullptr;
char* (*get_char)() = nullptr;
gunichar2* (*get_wchar)() = nullptr;

class Parse : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string old = g_get_current_dir();
        ASSERT_EQ(chdir(RUN_DIR), 0);
        // The full name, so GModule opens it as given.
        GModule* module = g_module_open("./parse.dll.dll", G_MODULE_BIND_LAZY);
        ASSERT_EQ(chdir(old.c_str()), 0);
        ASSERT_NE(module, nullptr) << g_module_error();
        gpointer p[3] = {};
        ASSERT_TRUE(g_module_symbol(module, "Convert_text_", &p[0]));
        ASSERT_TRUE(g_module_symbol(module, "get_char", &p[1]));
        ASSERT_TRUE(g_module_symbol(module, "get_wchar", &p[2]));
        Convert_text_ = reinterpret_cast<void (*)(gunichar2*, int)>(p[0]);
        get_char = reinterpret_cast<char* (*)()>(p[1]);
        get_wchar = reinterpret_cast<gunichar2* (*)()>(p[2]);
    }
};

// A UTF-16 literal as the module takes it.
gunichar2* wide(char16_t* text) { return reinterpret_cast<gunichar2*>(text); }

std::u16string kept() { return reinterpret_cast<const char16_t*>(get_wchar()); }

}  // namespace

TEST_F(Parse, NothingConvertedYetReadsEmpty)
{
    // Holds only while nothing was converted in this process yet.
    EXPECT_STREQ(get_char(), "");
    EXPECT_EQ(kept(), u"");
}

TEST_F(Parse, ConvertsInPlaceUpToLengthAndKeepsTheResult)
{
    // U+FF01 and U+FF5E are the ends of the range; U+FF5F and U+3001 stay.
    struct { std::u16string in; int len; std::u16string after, kept; const char* narrow; } cases[] = {
        {u"日志：ＡＢＣ　ｘ＝１２３！～\uFF5F、", -1, u"日志:ABC x=123!~\uFF5F、",
         u"日志:ABC x=123!~\uFF5F、", "日志:ABC x=123!~\xEF\xBD\x9F、"},
        {u"ＡＢＣＤ", 2, u"ABＣＤ", u"AB", "AB"},
        {u"ＡＢ", 0, u"ＡＢ", u"", ""},
        {u"日志😀", -1, u"日志😀", u"日志😀", "日志😀"},
        // A lone surrogate is kept as given in the wide text, U+FFFD in UTF-8.
        {std::u16string(u"a") + char16_t(0xD800) + u"b", -1,
         std::u16string(u"a") + char16_t(0xD800) + u"b",
         std::u16string(u"a") + char16_t(0xD800) + u"b", "a\uFFFDb"},
    };
    for (auto& c : cases) {
        std::u16string text = c.in;
        Convert_text_(wide(text.data()), c.len);
        EXPECT_EQ(text, c.after);
        EXPECT_EQ(kept(), c.kept);
        EXPECT_STREQ(get_char(), c.narrow);
    }
    Convert_text_(nullptr, 5);
    EXPECT_STREQ(get_char(), "");
    EXPECT_EQ(kept(), u"");
}
