// The text-conversion module "parse.dll.dll": looked up at start-up, no
// messages. Wide texts are UTF-16 (gunichar2); the narrow form is
// UTF-8. The three-language texts of received logs come from the script
// bridge, not from here.
#pragma once

#include <glib.h>

extern "C" {
typedef void (*Convert_text__t)(gunichar2* text, int len);
typedef char* (*get_char_t)(void);
typedef gunichar2* (*get_wchar_t)(void);
}

// Normalises full-width ASCII forms and the ideographic space in place and
// keeps the result for get_char (UTF-8) and get_wchar.
extern Convert_text__t Convert_text_;
extern get_char_t get_char;
extern get_wchar_t get_wchar;

gboolean load_parse();
