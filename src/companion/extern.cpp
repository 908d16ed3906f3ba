#include "companion/extern.h"

#include "base/sql_escape.h"
#include "base/utf16.h"

#include "base/notice.h"
#include "base/stored_clock.h"

#include <gmodule.h>

#include <initializer_list>
#include <vector>

get_current_time_t get_current_time = nullptr;
get_current_time_2_t get_current_time_2 = nullptr;
sql_correct_t sql_correct = nullptr;
wcslen__t wcslen_ = nullptr;
Convert_web_addr_t Convert_web_addr = nullptr;
exe_open_file_t exe_open_file = nullptr;
exe_open_file_t exe_open_file_2 = nullptr;
open_ie_t open_ie = nullptr;

test_4_t test_4 = nullptr;
Get_Email_Name_t Get_Email_Name = nullptr;
GetFileName_buf_t GetFileName_buf = nullptr;
ChIp_to_int_unicode_turn_t ChIp_to_int_unicode_turn = nullptr;
FindPosByIp_interface_t FindPosByIp_interface = nullptr;
GetFileCounterByIP_interface_t GetFileCounterByIP_interface = nullptr;

Get_Str_By_Head_t Get_Str_By_Head = nullptr;
DecodeBase64_interface_t DecodeBase64_interface = nullptr;
GetEmail_To_interface_t GetEmail_To_interface = nullptr;
Get_to_buf_t Get_to_buf = nullptr;
GetStrByHead_one_block_interface_t GetStrByHead_one_block_interface = nullptr;

tcp_interface_SetFunc_t tcp_interface_SetFunc = nullptr;
tcp_get_counts_t tcp_get_counts = nullptr;

vc_create_excel_t vc_create_excel = nullptr;
vc_open_excel_t vc_open_excel = nullptr;
vc_write_excel_t vc_write_excel = nullptr;
vc_close_excel_t vc_close_excel = nullptr;

bool load_companion_module(const char* file, const char* module_missing,
                           std::initializer_list<entry_point> table)
{
    for (const entry_point& e : table)
        e.set(e.slot, nullptr);
    // By full path: GModule hands back an already open module of the same
    // name, whatever the working directory is now.
    gchar* cwd = g_get_current_dir();
    gchar* path = g_build_filename(cwd, file, nullptr);
    GModule* module = g_module_open(path, GModuleFlags(G_MODULE_BIND_LAZY | G_MODULE_BIND_LOCAL));
    g_free(path);
    g_free(cwd);
    if (!module) {
        if (module_missing)
            notice(module_missing);
        return false;
    }
    for (const entry_point& e : table) {
        gpointer symbol = nullptr;
        if (!g_module_symbol(module, e.name, &symbol) || !symbol) {
            if (e.missing)
                notice(e.missing);
            return false;
        }
        e.set(e.slot, symbol);
    }
    return true;
}

gboolean init_extern_func()
{
    return load_companion_module("linux_extern.dll", "err2",
                                 {module_entry("get_current_time", get_current_time, "err3"),
                                  module_entry("get_current_time_2", get_current_time_2, "err7"),
                                  module_entry("sql_correct", sql_correct, "err4"),
                                  module_entry("wcslen_", wcslen_, "err5"),
                                  module_entry("Convert_web_addr", Convert_web_addr, "err6"),
                                  module_entry("exe_open_file", exe_open_file, "err7"),
                                  module_entry("exe_open_file_2", exe_open_file_2, "err7"),
                                  module_entry("open_ie", open_ie, "err18")});
}

gboolean init_extern_func_2()
{
    return load_companion_module(
        "email_file.dll", "err19",
        {module_entry("test_4", test_4, "err9"),
         module_entry("Get_Email_Name", Get_Email_Name, "err10"),
         module_entry("GetFileName_buf", GetFileName_buf, "err11"),
         module_entry("ChIp_to_int_unicode_turn", ChIp_to_int_unicode_turn, "err12"),
         module_entry("FindPosByIp_interface", FindPosByIp_interface, "err13"),
         module_entry("GetFileCounterByIP_interface", GetFileCounterByIP_interface, "err20")});
}

gboolean init_extern_func_3()
{
    return load_companion_module(
        "email_decode.dll", "err14",
        {module_entry("Get_Str_By_Head", Get_Str_By_Head, "err15"),
         module_entry("DecodeBase64_interface", DecodeBase64_interface, "err16"),
         module_entry("GetEmail_To_interface", GetEmail_To_interface, "err19"),
         module_entry("Get_to_buf", Get_to_buf, "err20"),
         module_entry("GetStrByHead_one_block_interface", GetStrByHead_one_block_interface,
                      "err21")});
}

gboolean init_extern_func_4(RecvProc callback)
{
    if (!load_companion_module(
            "tcp_dll.dll", "err17",
            {module_entry("tcp_interface_SetFunc", tcp_interface_SetFunc, "err18")}))
        return FALSE;
    // An extra of our own receiver, for the disk panel's drop line.
    load_companion_module("tcp_dll.dll", nullptr, {module_entry("tcp_get_counts", tcp_get_counts)});
    if (tcp_interface_SetFunc(callback) != 0) {
        notice("邮件接收tcp建立失败,其它功能正常");
        return FALSE;
    }
    return TRUE;
}

gboolean init_vc_excel()
{
    return load_companion_module("vc_dll_excel.dll", "err vc_excel",
                                 {module_entry("create_excel", vc_create_excel, "err3"),
                                  module_entry("OpenExcel", vc_open_excel, "err4"),
                                  module_entry("WriteToExcel", vc_write_excel, "err5"),
                                  module_entry("close_excel", vc_close_excel, "err6")});
}

unsigned current_time()
{
    if (get_current_time)
        return get_current_time();
    return stored_time_now();
}

void current_time_2(int* hour, int* minute, int* second)
{
    if (get_current_time_2) {
        int h = 0, m = 0, s = 0;
        get_current_time_2(&h, &m, &s);
        if (hour)
            *hour = h;
        if (minute)
            *minute = m;
        if (second)
            *second = s;
        return;
    }
    stored_time_of_day(hour, minute, second);
}

std::string sql_correct_text(std::string_view text)
{
    if (sql_correct) {
        // The entry works on NUL-terminated text: escape the pieces between
        // NUL bytes and write each NUL as \0.
        std::string out;
        std::vector<char> buf;
        for (;;) {
            std::size_t nul = text.find('\0');
            std::string_view piece = text.substr(0, nul);
            buf.assign(piece.size() * 2 + 1, '\0');
            piece.copy(buf.data(), piece.size());
            sql_correct(buf.data());
            out += buf.data();
            if (nul == std::string_view::npos)
                return out;
            out += "\\0";
            text.remove_prefix(nul + 1);
        }
    }
    return sql_escape(text);
}

void open_with_default_program(const char* utf8_path)
{
    // A path that is not UTF-8 names no file this program wrote.
    if (!exe_open_file_2 || !utf8_path || !g_utf8_validate(utf8_path, -1, nullptr))
        return;
    utf16_string wide = utf16_from_utf8(utf8_path);
    exe_open_file_2(wide.data());
}

void open_mail_file(const char* path)
{
    if (open_ie && path)
        open_ie(const_cast<gchar*>(path));
}
