// The text-conversion module "parse.dll.dll".
#include "parse.h"

#include <glib.h>

#include <string>

namespace {

std::wstring kept_wide;
std::string kept_narrow;

wchar_t normalised(wchar_t c)
{
    if (c >= 0xFF01 && c <= 0xFF5E)
        return c - 0xFF01 + 0x21;
    if (c == 0x3000)
        return L' ';
    return c;
}

std::string to_utf8(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) {
        gunichar u = static_cast<gunichar>(c);
        if (!g_unichar_validate(u))
            u = 0xFFFD;
        char buf[6];
        out.append(buf, g_unichar_to_utf8(u, buf));
    }
    return out;
}

}  // namespace

extern "C" {

void Convert_text_(wchar_t* text, int len)
{
    kept_wide.clear();
    if (text) {
        for (int i = 0; (len < 0 || i < len) && text[i]; ++i) {
            text[i] = normalised(text[i]);
            kept_wide += text[i];
        }
    }
    kept_narrow = to_utf8(kept_wide);
}

char* get_char(void) { return kept_narrow.data(); }

wchar_t* get_wchar(void) { return kept_wide.data(); }
}
