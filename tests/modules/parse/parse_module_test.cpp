// The text-conversion module, opened from the run directory as the program
// opens it.
#include <gmodule.h>
#include <gtest/gtest.h>

#include <string>

#include <unistd.h>

namespace {

void (*Convert_text_)(wchar_t*, int) = nullptr;
char* (*get_char)() = nullptr;
wchar_t* (*get_wchar)() = nullptr;

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
        Convert_text_ = reinterpret_cast<void (*)(wchar_t*, int)>(p[0]);
        get_char = reinterpret_cast<char* (*)()>(p[1]);
        get_wchar = reinterpret_cast<wchar_t* (*)()>(p[2]);
    }
};

}  // namespace

TEST_F(Parse, NothingConvertedYetReadsEmpty)
{
    // Holds only while nothing was converted in this process yet.
    EXPECT_STREQ(get_char(), "");
    EXPECT_STREQ(get_wchar(), L"");
}

TEST_F(Parse, FullWidthFormsBecomeAsciiInPlaceAndAreKept)
{
    // U+FF01 and U+FF5E are the ends of the range; U+FF5F and U+3001 stay.
    wchar_t text[] = L"日志：ＡＢＣ　ｘ＝１２３！～\uFF5F、";
    Convert_text_(text, -1);
    EXPECT_STREQ(text, L"日志:ABC x=123!~\uFF5F、");
    EXPECT_STREQ(get_wchar(), text);
    EXPECT_STREQ(get_char(), "日志:ABC x=123!~\xEF\xBD\x9F、");
}

TEST_F(Parse, LengthLimitsConversionAndKeptText)
{
    wchar_t text[] = L"ＡＢＣＤ";
    Convert_text_(text, 2);
    EXPECT_STREQ(text, L"ABＣＤ") << "characters past len are not touched";
    EXPECT_STREQ(get_wchar(), L"AB");
    EXPECT_STREQ(get_char(), "AB");

    Convert_text_(text, 0);
    EXPECT_STREQ(get_char(), "");
}

TEST_F(Parse, InvalidCodePointsAndNullAreHandled)
{
    wchar_t text[] = {L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), L'b', 0};
    Convert_text_(text, -1);
    EXPECT_STREQ(get_char(), "a\uFFFD\uFFFDb");
    EXPECT_EQ(get_wchar()[1], static_cast<wchar_t>(0xD800)) << "the wide text is kept as given";

    Convert_text_(nullptr, 5);
    EXPECT_STREQ(get_char(), "");
    EXPECT_STREQ(get_wchar(), L"");
}
