// The text-conversion module "parse.dll.dll".
#include "parse.h"

#include "base/utf16.h"

#include <glib.h>

#include <string>

namespace {

std::basic_string<gunichar2> kept_wide;
std::string kept_narrow;

gunichar2 normalised(gunichar2 c)
{
    if (c >= 0xFF01 && c <= 0xFF5E)
        return c - 0xFF01 + 0x21;
    if (c == 0x3000)
        return u' ';
    return c;
}

}  // namespace

extern "C" {

void Convert_text_(gunichar2* text, int len)
{
    kept_wide.clear();
    if (text) {
        for (int i = 0; (len < 0 || i < len) && text[i]; ++i) {
            text[i] = normalised(text[i]);
            kept_wide += text[i];
        }
    }
    kept_narrow = utf16_to_utf8(kept_wide.data(), kept_wide.size());
}

char* get_char(void) { return kept_narrow.data(); }

gunichar2* get_wchar(void) { return kept_wide.data(); }
}
