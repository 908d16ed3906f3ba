// The Excel writer module "vc_dll_excel.dll": real Excel 97-2003 workbooks.
// libgsf writes the OLE2 compound document; biff8.cpp the records of its
// "Workbook" stream.
#include "vc_excel.h"

#include "biff8.h"

#include "base/utf16.h"

#include <gmodule.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

#include <string>
#include <vector>

namespace {

struct open_workbook {
    bool open = false;
    std::string path;  // UTF-8
    biff8::sheet_writer sheet;
};

open_workbook book;

std::string folder_of(const std::string& path)
{
    gchar* dir = g_path_get_dirname(path.c_str());
    std::string out = dir;
    g_free(dir);
    return out;
}

// Writes the sheet as the "Workbook" stream of a compound document at
// `path`. The document goes to a temporary file that replaces `path` only
// when everything was written.
bool write_container(const std::string& path, biff8::sheet_writer& sheet)
{
    static gsize once = 0;
    if (g_once_init_enter(&once)) {
        gsf_init();
        g_once_init_leave(&once, 1);
    }
    GError* err = nullptr;
    GsfOutput* file = gsf_output_stdio_new(path.c_str(), &err);
    if (!file) {
        g_clear_error(&err);
        return false;
    }
    GsfOutfile* ole = gsf_outfile_msole_new(file);
    GsfOutput* stream = gsf_outfile_new_child(ole, "Workbook", FALSE);
    bool ok = stream != nullptr;
    if (ok) {
        ok = sheet.finish([stream](const void* data, std::size_t size) {
            return gsf_output_write(stream, size, static_cast<const guint8*>(data)) != FALSE;
        });
        ok = gsf_output_close(stream) && ok;
        g_object_unref(stream);
    }
    if (!ok) {
        // An error on the file makes closing it remove the temporary file
        // instead of putting it in place.
        gsf_output_set_error(file, 0, "workbook not written");
    }
    ok = gsf_output_close(GSF_OUTPUT(ole)) && ok;
    g_object_unref(ole);
    if (!gsf_output_is_closed(file))
        ok = gsf_output_close(file) && ok;
    g_object_unref(file);
    return ok;
}

std::basic_string<gunichar2> cell(const gunichar2* text)
{
    return std::basic_string<gunichar2>(text ? text : reinterpret_cast<const gunichar2*>(u""),
                                        utf16_length(text));
}

}  // namespace

extern "C" {

G_MODULE_EXPORT int create_excel(const gunichar2* path, const gunichar2* /*one*/)
{
    if (!path || !*path)
        return -1;
    const std::string p = utf16_to_utf8(path);
    biff8::sheet_writer empty;
    if (!empty.open(folder_of(p)))
        return -1;
    return write_container(p, empty) ? 0 : -1;
}

G_MODULE_EXPORT int OpenExcel(const gunichar2* path, const gunichar2* /*unused*/)
{
    if (book.open)
        close_excel();
    if (!path || !*path)
        return -1;
    book.path = utf16_to_utf8(path);
    if (!book.sheet.open(folder_of(book.path)))
        return -1;
    book.open = true;
    return 0;
}

G_MODULE_EXPORT int WriteToExcel(const gunichar2* /*one*/, const gunichar2* c1, const gunichar2* c2,
                                 const gunichar2* c3, const gunichar2* c4, const gunichar2* c5,
                                 const gunichar2* c6)
{
    if (!book.open)
        return -1;
    const std::vector<std::basic_string<gunichar2>> row = {cell(c1), cell(c2), cell(c3),
                                                           cell(c4), cell(c5), cell(c6)};
    return book.sheet.add_row(row) ? 0 : -1;
}

G_MODULE_EXPORT int close_excel(void)
{
    if (!book.open)
        return -1;
    book.open = false;
    const bool ok = write_container(book.path, book.sheet);
    book.sheet.close();
    return ok ? 0 : -1;
}

}  // extern "C"
