#include "companion/parse.h"

#include "companion/extern.h"

Convert_text__t Convert_text_ = nullptr;
get_char_t get_char = nullptr;
get_wchar_t get_wchar = nullptr;

gboolean load_parse()
{
    return load_companion_module("parse.dll.dll", nullptr,
                                 {module_entry("Convert_text_", Convert_text_),
                                  module_entry("get_char", get_char),
                                  module_entry("get_wchar", get_wchar)});
}
