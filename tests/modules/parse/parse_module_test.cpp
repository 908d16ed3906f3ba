// The text-conversion module, opened from the run directory as the program
// opens it.
#include <glib.h>
#include <gtest/gtest.h>

#include <string>

#include "support/run_module.h"

namespace {

auto* const Convert_text_ = module_entry<void(gunichar2*, int)>("parse.dll.dll", "Convert_text_");
auto* const get_char = module_entry<char*()>("parse.dll.dll", "get_char");
auto* const get_wchar = module_entry<gunichar2*()>("parse.dll.dll", "get_wchar");

std::u16string kept() { return reinterpret_cast<const char16_t*>(get_wchar()); }

}  // namespace

TEST(Parse, ConvertsInPlaceUpToLengthAndKeepsTheResult)
{
    ASSERT_TRUE(Convert_text_ && get_char && get_wchar);
    // U+FF01 and U+FF5E are the ends of the range; U+FF5F and U+3001 stay.
    struct {
        std::u16string in;
        int len;
        std::u16string after, kept;
        const char* narrow;
    } cases[] = {
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
        Convert_text_(reinterpret_cast<gunichar2*>(text.data()), c.len);
        EXPECT_EQ(text, c.after);
        EXPECT_EQ(kept(), c.kept);
        EXPECT_STREQ(get_char(), c.narrow);
    }
    Convert_text_(nullptr, 5);
    EXPECT_STREQ(get_char(), "");
    EXPECT_EQ(kept(), u"");
}
