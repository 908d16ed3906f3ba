// Entries of the utility module "linux_extern.dll", as it exports them.
// Wide texts are UTF-16 (gunichar2); narrow paths are UTF-8.
#pragma once

#include <glib.h>
#include <glib.h>

extern "C" {

// Unix time minus 28,800: the scale the records and the date pickers use.
unsigned int get_current_time(void);

// Local time of day minus 8 hours (hour = (local hour - 8 + 24) % 24).
// Null pointers are skipped.
void get_current_time_2(int* hour, int* minute, int* second);

// Escapes `text` in place for use between single quotes in a MariaDB
// statement: backslash, ', ", CR, LF and Ctrl-Z get a backslash form (a NUL
// would be written as \0, but a NUL ends the text here). The buffer must hold
// at least 2 * strlen(text) + 1 bytes. Null is ignored.
void sql_correct(char* text);

// Number of characters before the terminating NUL; 0 for null.
int wcslen_(gunichar2* text);

// Copies a web address from `in` to `out` (`size` bytes, always terminated
// when size > 0), decoding %XX escapes; malformed escapes and %00 stay as
// they are. A cut falls on a UTF-8 character boundary.
void Convert_web_addr(char* in, char* out, int size);

// Open a file or folder with the desktop's default program (xdg-open,
// started without a shell, not waited for). exe_open_file and
// exe_open_file_2 take a wide path, open_ie a narrow one.
void exe_open_file(gunichar2* path);
void exe_open_file_2(gunichar2* path);
void open_ie(gchar* name);
}
