// The log-type codes and their labels in the three interface languages.
// Language index as the interface uses it: 0 simplified Chinese, 1 English,
// 2 traditional Chinese.
#pragma once

#include <string>

// Label of a type row in the device tree. A code without labels gives its
// decimal text, "ok_en" and "ok_fanti".
std::string tree_type_label(unsigned code, unsigned lang);

// The tree label when the code has one of its own, else nullptr (lets hot
// paths skip building the decimal text).
const char* tree_type_label_known(unsigned code, unsigned lang);

// Label of the type column of the record list. A code without labels gives
// "未知", "nodefine", "未知". E-mail (144) is never listed and has none.
const char* list_type_label(unsigned code, unsigned lang);
