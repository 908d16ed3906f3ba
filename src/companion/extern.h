// The companion modules: each is opened from the working directory and its
// entry points are looked up into the globals below. A loader reports a
// missing module or entry through notice() and returns FALSE; the pointers
// of entries it did not find stay null.
//
// Wide strings are UTF-16 (gunichar2, NUL-terminated), as the module
// contracts give them; narrow paths are UTF-8.
#pragma once

#include "base/record.h"
#include "base/tcp_counts.h"

#include <glib.h>
#include <mysql.h>

#include <initializer_list>
#include <string>
#include <string_view>

extern "C" {
// "linux_extern.dll"
typedef unsigned int (*get_current_time_t)(void);
typedef void (*get_current_time_2_t)(int* hour, int* minute, int* second);
typedef void (*sql_correct_t)(char* text);
typedef int (*wcslen__t)(gunichar2* text);
typedef void (*Convert_web_addr_t)(char* in, char* out, int size);
typedef void (*exe_open_file_t)(gunichar2* path);
typedef void (*open_ie_t)(gchar* name);

// "email_file.dll"
typedef int (*test_4_t)(...);
typedef void (*Get_Email_Name_t)(void);
typedef char* (*GetFileName_buf_t)(void);
typedef int (*ChIp_to_int_unicode_turn_t)(gunichar2* dir_name);
typedef int (*FindPosByIp_interface_t)(int ip, int* pos);
typedef int (*GetFileCounterByIP_interface_t)(int pos);

// "email_decode.dll"
typedef int (*Get_Str_By_Head_t)(char* head, void* buffer, gunichar2* mail_path);
typedef void (*DecodeBase64_interface_t)(char* in, char* out);
typedef int (*GetEmail_To_interface_t)(gunichar2* mail_path);
typedef char* (*Get_to_buf_t)(void);
typedef int (*GetStrByHead_one_block_interface_t)(char* head, gunichar2* out, gunichar2* mail_path);

// "tcp_dll.dll"
typedef int (*tcp_interface_SetFunc_t)(RecvProc callback);
typedef void (*tcp_get_counts_t)(tcp_counts* counts);

// "vc_dll_excel.dll"
typedef int (*vc_create_excel_t)(const gunichar2* path, const gunichar2* one);
typedef int (*vc_open_excel_t)(const gunichar2* path, const gunichar2* unused);
typedef int (*vc_write_excel_t)(const gunichar2* one, const gunichar2* c1, const gunichar2* c2,
                                const gunichar2* c3, const gunichar2* c4, const gunichar2* c5,
                                const gunichar2* c6);
typedef int (*vc_close_excel_t)(void);
}

extern get_current_time_t get_current_time;
extern get_current_time_2_t get_current_time_2;
// In place; the buffer must hold at least 2 * strlen(text) + 1 bytes.
extern sql_correct_t sql_correct;
extern wcslen__t wcslen_;
extern Convert_web_addr_t Convert_web_addr;
extern exe_open_file_t exe_open_file;
extern exe_open_file_t exe_open_file_2;
extern open_ie_t open_ie;

extern test_4_t test_4;
extern Get_Email_Name_t Get_Email_Name;
extern GetFileName_buf_t GetFileName_buf;
extern ChIp_to_int_unicode_turn_t ChIp_to_int_unicode_turn;
extern FindPosByIp_interface_t FindPosByIp_interface;
extern GetFileCounterByIP_interface_t GetFileCounterByIP_interface;

extern Get_Str_By_Head_t Get_Str_By_Head;
extern DecodeBase64_interface_t DecodeBase64_interface;
extern GetEmail_To_interface_t GetEmail_To_interface;
extern Get_to_buf_t Get_to_buf;
extern GetStrByHead_one_block_interface_t GetStrByHead_one_block_interface;

extern tcp_interface_SetFunc_t tcp_interface_SetFunc;
// Looked up without a message: a module without it still receives.
extern tcp_get_counts_t tcp_get_counts;

extern vc_create_excel_t vc_create_excel;  // entry "create_excel"
extern vc_open_excel_t vc_open_excel;      // entry "OpenExcel"
extern vc_write_excel_t vc_write_excel;    // entry "WriteToExcel"
extern vc_close_excel_t vc_close_excel;    // entry "close_excel"

// One row of a module's table: exported name, the global it fills and the
// message shown when it is missing (null: none).
struct entry_point {
    const char* name;
    const char* missing;
    void* slot;
    void (*set)(void* slot, gpointer symbol);
};

template <class Fn>
entry_point module_entry(const char* name, Fn& slot, const char* missing = nullptr)
{
    return {name, missing, &slot,
            [](void* s, gpointer symbol) { *static_cast<Fn*>(s) = reinterpret_cast<Fn>(symbol); }};
}

// Opens `file` from the working directory and fills the table in order, stopping at the first entry
// that is missing. Every pointer of the table is cleared first, so they show what the last load
// found. Modules stay open for the rest of the run and do not see each other's symbols.
// `module_missing` is shown when the file cannot be opened.
bool load_companion_module(const char* file, const char* module_missing,
                           std::initializer_list<entry_point> table);

// Loaders, one per module.
gboolean init_extern_func();                     // "linux_extern.dll"
gboolean init_extern_func_2();                   // "email_file.dll"
gboolean init_extern_func_3();                   // "email_decode.dll"
gboolean init_extern_func_4(RecvProc callback);  // "tcp_dll.dll"; starts the mail receiver with it
gboolean init_vc_excel();                        // "vc_dll_excel.dll"

// Checked calls into "linux_extern.dll".

// Seconds on the stored scale (Unix time minus 28,800).
unsigned current_time();
// Local time of day minus 8 hours; null pointers are skipped.
void current_time_2(int* hour, int* minute, int* second);
// `text` escaped for use between single quotes; NUL bytes inside become \0.
// Byte by byte (base/sql_escape.h), through the module when it is loaded,
// which is exact on the utf8mb4 connections.
std::string sql_correct_text(std::string_view text);
// Opens a file or folder with the desktop's default program; does nothing
// without the module.
void open_with_default_program(const char* utf8_path);
// Opens a stored mail file for viewing; does nothing without the module.
void open_mail_file(const char* path);
