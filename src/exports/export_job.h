// The export job's logic, no widget: file names, the worker's
// query and writing, and the copying of what was written. The window side
// (export_wnd.h) runs the dialogs, starts the worker with a request built on
// the GUI thread and shows its result.
#pragma once

#include "companion/extern.h"
#include "storage/mysql_ctrl.h"
#include "storage/page_set.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Records of one workbook: the first holds the header and records 1 to
// 40,001, each continuation the next 40,001 records.
inline constexpr unsigned long long RECORDS_PER_WORKBOOK = 40001;
// Bytes of the export file name, ".xls" included.
inline constexpr std::size_t EXPORT_NAME_MAX = 200;
// The directory under the working directory that receives the files.
inline constexpr const char* EXPORT_DIR = "export";

// Why a typed name is refused.
enum class name_problem {
    none,
    empty,
    // It holds '/', "..", a NUL or a control character, or starts with '-':
    // it would name another folder or be taken for an option.
    unsafe,
};
name_problem check_export_name(std::string_view typed);

// The export file name (name_excel): the typed name cut to 196 bytes at a
// character boundary, followed by ".xls", so it always ends in ".xls" and
// is at most EXPORT_NAME_MAX bytes.
std::string export_file_name(std::string_view typed);

// Continuation name `num` of a workbook path: in the file name (the part
// after the last '/'), the ".xls" endings are cut ("report.xls.xls" gives
// "report", "a.xlsx.xls" gives "a.xlsx"), or when it does not end in
// ".xls" the text from its last ".xls" on; then "-<num>.xls" is appended.
// Folders in the path are kept as they are, whatever they hold.
std::string get_split_filename(std::string_view path, unsigned num);

// The six column headers in a language (0 simplified Chinese, 1 English,
// 2 traditional Chinese).
struct export_cells {
    std::string c[6];
};
export_cells export_headers(unsigned lang);

// The entry points of the Excel writer module; null when it is not loaded.
struct excel_entries {
    vc_create_excel_t create = nullptr;
    vc_open_excel_t open = nullptr;
    vc_write_excel_t write = nullptr;
    vc_close_excel_t close = nullptr;
    bool loaded() const { return create && open && write && close; }
};
// The entries that init_vc_excel found.
excel_entries loaded_excel_entries();

// What one export does, fixed on the GUI thread when it starts.
struct export_request {
    std::string statement;  // the filter statement, without limit and order
    std::string name;       // name_excel, ends in ".xls"
    std::string dir;        // absolute path of the export directory
    bool pdf = false;
    bool excel = false;
    db_settings db;  // the worker opens a connection of its own with these
    // The count's time limit on the server (the rows are then read without
    // one: the operator started the export knowingly).
    double count_time_limit_s = query_time_limit_s;
};

// What it wrote; every file name is relative to the export directory.
struct export_result {
    bool dir_failed = false;             // the export directory could not be made
    bool connect_failed = false;         // no connection of the job's own
    bool statement_failed = false;       // the server refused the statement, or
                                         // the connection broke while rows came
    bool count_too_long = false;         // the server stopped the count at its limit
    long long count = -1;                // records counted before the rows were read
    unsigned long long records = 0;      // records read and written
    bool excel_missing = false;          // Excel chosen, module not loaded
    std::vector<std::string> workbooks;  // completed, first workbook first
    std::string workbook_failed;         // the first one that could not be written
    bool pdf_written = false;
    std::string pdf_name;  // name + ".pdf"
    bool pdf_failed = false;

    // Whether everything chosen was written completely.
    bool complete(const export_request& req) const;
};

// Called on the worker: the progress fraction (every second record), and a
// test's look at each record before it is written (from 1).
struct export_hooks {
    std::function<void(double fraction)> progress;
    std::function<void(unsigned long long record)> before_record;
};

// The worker's whole job (sql_to_excel): counts the records of the
// statement, then streams them (mysql_use_result) on a connection of its
// own and writes the workbooks and the PDF in the export directory. The
// language of the type and content cells is read for every record. Touches
// no widget and no state of the main loop's connection; safe on any thread.
export_result run_export(const export_request& req, const excel_entries& excel,
                         const export_hooks& hooks = {});

// A test's look at every record that an export worker started by the
// window writes; empty unless a test sets it.
extern std::function<void(unsigned long long record)> export_record_hook;

// Copying to the folder chosen in the dialog.
struct copy_result {
    bool same_folder = false;         // the chosen folder is the export directory
    bool no_folder = false;           // none chosen
    std::vector<std::string> copied;  // file names
    std::vector<std::string> failed;  // file names that could not be copied
};
// Copies every file the export wrote (all workbooks, the PDF) from `dir` to
// `folder`. A folder that is the export directory itself, however written
// (a trailing '/', a link), is recognised by its device and inode and
// gets nothing; no folder gets nothing.
copy_result copy_export_files(const export_result& res, const std::string& dir,
                              const std::string& folder);

// The completion message in a language (0, 1, 2): success, or what was not
// written. `cwd` is the working directory the export directory is in.
std::string completion_message(const export_request& req, const export_result& res,
                               const std::string& cwd, unsigned lang);
// The notice after copying, in a language; "" when nothing failed.
std::string copy_failure_message(const copy_result& copy, const std::string& folder, unsigned lang);
