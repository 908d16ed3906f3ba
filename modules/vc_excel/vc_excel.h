// Entries of the Excel writer module "vc_dll_excel.dll", as it exports them.
// Every text is UTF-16 (gunichar2, NUL-terminated); paths name files of the
// local file system. One workbook is open at a time.
#pragma once

#include <glib.h>

extern "C" {

// Writes a complete workbook without rows at `path` (replacing a file of
// that name). `one` is not read. 0 on success, -1 when it cannot be written.
int create_excel(const gunichar2* path, const gunichar2* one);

// Opens the workbook at `path` for rows: they are appended to its first
// worksheet, from its first row on, and the file is written by close_excel.
// A workbook still open is finished first. `unused` is not read. 0 on
// success, -1 when the folder of `path` cannot take the temporary files.
int OpenExcel(const gunichar2* path, const gunichar2* unused);

// Appends one row of six text cells to the open workbook (null and empty
// cells stay empty; a cell is cut to 32,767 characters). `one` is not read.
// 0 on success; -1 when no workbook is open, the sheet already holds 65,536
// rows, or the rows could not be written to disk (the workbook is then
// failed and close_excel reports it).
int WriteToExcel(const gunichar2* one, const gunichar2* c1, const gunichar2* c2,
                 const gunichar2* c3, const gunichar2* c4, const gunichar2* c5,
                 const gunichar2* c6);

// Writes the open workbook to its path and closes it. 0 on success; -1
// when none is open or it could not be written completely (a file of that
// name is then left as it was before).
int close_excel(void);
}
