// Bridge to the two script modules run by the embedded Python interpreter:
// `my_email` (my_email.py: mail headers, deleting mail files) and `js_inter`
// (js_inter.py: display texts of log texts in three languages).
//
// Every script function is looked up once at start-up; a wrapper whose
// function was not found, or whose call fails, gives its fallback text without
// touching the interpreter's state for later calls. Arguments reach the scripts
// as `str` decoded from UTF-8 with "surrogateescape", so any byte survives; a
// `str` result comes back as UTF-8 (same error handler), a `bytes` result as it
// is. Results are cut at a UTF-8 character boundary to fit their buffer.
//
// Only the main thread calls in here; it keeps the interpreter lock for good.
#pragma once

#include <string>

#include <cstddef>

// Sizes of the callers' output buffers.
inline constexpr std::size_t py_header_size = 200;  // py_get_subject, py_get_sender
inline constexpr std::size_t py_js_size = 192;      // py_js_get_chinese/_en/_fanti
inline constexpr std::size_t py_js_text_max = 190;  // bytes of text at most
inline constexpr std::size_t py_exist_size = 20;    // py_js_get_b_exist_chinese

// Start-up. init_python_1 starts the interpreter, puts the working directory on
// sys.path and looks up the functions of `my_email`; init_python_2 looks up
// those of `js_inter` and loads its three tables. A failure prints its message
// on standard output and, when standard input is a terminal, waits for one
// character. Both return 0 when every function was found, -1 otherwise.
int init_python_1();
int init_python_2();

// Subject and From of a mail file ("GetEmail_subject", "GetEmail_from"), into
// pOut[py_header_size]; an empty text when the script gives no string.
// Return 0 when the script gave a string, -1 otherwise.
int py_get_subject(const char* pname, char* pOut);
int py_get_sender(const char* pname, char* pOut);

// Deletes the regular files directly inside the directory pname
// ("removeFileInFirstDir"). 0 when the call succeeded, -1 otherwise.
int py_del_email_all(const char* pname);

// Load the tables of one language ("init_js_chinese", ...).
int py_init_js_chinese();
int py_init_js_en();
int py_init_js_fanti();

// Display text of a '+'-joined log text in one language, into
// pOut[py_js_size]: at most 190 bytes, then bytes 190 and 191 zero.
// "未找到相关js" when the script gives no string.
int py_js_get_chinese(const char* pContent, char* pOut);
int py_js_get_en(const char* pContent, char* pOut);
int py_js_get_fanti(const char* pContent, char* pOut);

// The three display texts at once, each as the functions above give it: with
// one script call when the script offers get_js_values (the texts joined by
// NUL characters), else with the three. Nothing tells a failed call apart
// from a text here; the return value only says whether the first call gave
// one.
bool py_js_get_all(const char* pContent, std::string& chinese, std::string& en, std::string& fanti);

// Whether the tables know a word, into pOut[py_exist_size]: "3" known, "1" not;
// "1" when the script gives no string.
int py_js_get_b_exist_chinese(const char* pContent, char* pOut);
