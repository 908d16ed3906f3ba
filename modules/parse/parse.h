// Entries of the text-conversion module "parse.dll.dll", as it exports them.
// Wide texts are UTF-16 (gunichar2); the narrow form is UTF-8.
#pragma once

#include <glib.h>

extern "C" {

// Normalises, in place, the first `len` characters of `text` (all of it up
// to the NUL when len < 0): full-width ASCII forms U+FF01..U+FF5E become
// ASCII, the ideographic space U+3000 a space. The result, up to the NUL or
// `len`, is kept for get_wchar and get_char; null keeps an empty text.
void Convert_text_(gunichar2* text, int len);

// The text kept by the last Convert_text_, narrow (UTF-8; characters that
// are not valid code points become U+FFFD). Never null; valid until the
// next Convert_text_.
char* get_char(void);

// The same text, wide, NUL-terminated.
gunichar2* get_wchar(void);
}
