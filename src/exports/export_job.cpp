#include "exports/export_job.h"

#include "base/copy.h"
#include "base/language.h"
#include "base/utf16.h"
#include "base/utf8_clean.h"
#include "base/utf8_cut.h"
#include "exports/pdf_export.h"
#include "storage/page_set.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <mysqld_error.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/stat.h>

std::function<void(unsigned long long record)> export_record_hook;

namespace {

constexpr std::string_view XLS = ".xls";

// A text in one of the three languages; anything but 0 and 2 is English.
const char* in_language(const tr3& t, unsigned lang)
{
    return lang == 0 ? t.zh : lang == 2 ? t.tw : t.en;
}

std::string format(const char* pattern, const std::string& arg)
{
    std::string out;
    std::string_view p(pattern);
    const auto at = p.find("%s");
    if (at == std::string_view::npos)
        return std::string(p);
    out.append(p.substr(0, at)).append(arg).append(p.substr(at + 2));
    return out;
}

}  // namespace

name_problem check_export_name(std::string_view typed)
{
    if (typed.empty())
        return name_problem::empty;
    if (typed.front() == '-' || typed.find('/') != std::string_view::npos ||
        typed.find("..") != std::string_view::npos)
        return name_problem::unsafe;
    for (char c : typed)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return name_problem::unsafe;  // NUL, line breaks and the like
    return name_problem::none;
}

std::string export_file_name(std::string_view typed)
{
    return utf8_cut(typed, EXPORT_NAME_MAX - XLS.size()) + std::string(XLS);
}

std::string get_split_filename(std::string_view path, unsigned num)
{
    const auto slash = path.rfind('/');
    const std::size_t name_at = slash == std::string_view::npos ? 0 : slash + 1;
    std::size_t end = path.size();
    bool cut = false;
    while (end - name_at >= XLS.size() && path.substr(end - XLS.size(), XLS.size()) == XLS) {
        end -= XLS.size();
        cut = true;
    }
    if (!cut) {
        const auto last = path.substr(name_at).rfind(XLS);
        if (last != std::string_view::npos)
            end = name_at + last;
    }
    return std::string(path.substr(0, end)) + "-" + std::to_string(num) + std::string(XLS);
}

export_cells export_headers(unsigned lang)
{
    static const tr3 headers[6] = {
        {"日志类型", "log type", "日誌類型"}, {"日志用户", "user", "日誌用戶"},
        {"记录内容", "content", "記錄類容"},  {"记录时间", "time", "記錄時間"},
        {"源ip", "source ip", "源ip"},        {"路由器ip", "sourter ip", "路由器ip"},
    };
    export_cells out;
    for (int i = 0; i < 6; ++i)
        out.c[i] = in_language(headers[i], lang);
    return out;
}

excel_entries loaded_excel_entries()
{
    return {vc_create_excel, vc_open_excel, vc_write_excel, vc_close_excel};
}

bool export_result::complete(const export_request& req) const
{
    if (dir_failed || connect_failed || statement_failed)
        return false;
    if (req.excel && (excel_missing || !workbook_failed.empty() || workbooks.empty()))
        return false;
    return !req.pdf || pdf_written;
}

namespace {

// One workbook after another through the module's entries.
class workbook_series {
public:
    workbook_series(const excel_entries& e, const std::string& dir, const std::string& name)
        : e_(e), dir_(dir), name_(name)
    { }

    // Creates and opens the workbook of that file name; false when either
    // fails (the module then holds nothing open).
    bool start(const std::string& file)
    {
        current_ = file;
        const utf16_string path = utf16_from_utf8(dir_ + "/" + file);
        return e_.create(path.c_str(), ONE.c_str()) == 0 && e_.open(path.c_str(), nullptr) == 0;
    }

    bool write(const export_cells& row)
    {
        utf16_string w[6];
        for (int i = 0; i < 6; ++i)
            w[i] = utf16_from_utf8(row.c[i]);
        return e_.write(ONE.c_str(), w[0].c_str(), w[1].c_str(), w[2].c_str(), w[3].c_str(),
                        w[4].c_str(), w[5].c_str()) == 0;
    }

    bool finish() { return e_.close() == 0; }

    const std::string& current() const { return current_; }

private:
    inline static const utf16_string ONE = utf16_from_utf8("1");
    excel_entries e_;
    std::string dir_;
    std::string name_;
    std::string current_;
};

// The job's own connection, closed when the job ends.
class job_connection {
public:
    explicit job_connection(const db_settings& s)
    {
        conn_ = mysql_init(nullptr);
        if (!conn_)
            return;
        mysql_options(conn_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
        unsigned timeout = 3;
        mysql_options(conn_, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
        if (s.port > 65535 ||
            !mysql_real_connect(conn_, s.host.c_str(), s.user.c_str(), s.pass.c_str(), "LogDB",
                                s.port, nullptr, 0)) {
            mysql_close(conn_);
            conn_ = nullptr;
        }
    }
    ~job_connection()
    {
        if (conn_)
            mysql_close(conn_);
        mysql_thread_end();
    }
    job_connection(const job_connection&) = delete;
    job_connection& operator=(const job_connection&) = delete;

    MYSQL* get() const { return conn_; }

    // The first cell of a one-row query as a number; -1 when it fails.
    long long count(const std::string& stmt)
    {
        if (mysql_real_query(conn_, stmt.data(), stmt.size()) != 0)
            return -1;
        MYSQL_RES* res = mysql_store_result(conn_);
        if (!res)
            return -1;
        MYSQL_ROW row = mysql_fetch_row(res);
        long long n = row && row[0] ? std::strtoll(row[0], nullptr, 10) : -1;
        mysql_free_result(res);
        return n;
    }

private:
    MYSQL* conn_ = nullptr;
};

// "SELECT COUNT(*) " followed by the statement from its first "from" on;
// "" when it has none.
std::string count_statement(const std::string& stmt)
{
    const auto from = stmt.find("from");
    if (from == std::string::npos)
        return "";
    return "SELECT COUNT(*)  " + stmt.substr(from);
}

export_cells record_cells(const log_display_row& r, unsigned lang)
{
    const unsigned l = lang <= 2 ? lang : 1;
    export_cells out;
    out.c[0] = r.type_label[l];
    out.c[1] = r.user;
    out.c[2] = r.content[l];
    out.c[3] = r.time;
    out.c[4] = r.source_ip;
    out.c[5] = r.router_ip;
    return out;
}

void pdf_line(pdf_listing& pdf, const export_cells& cells)
{
    const std::string_view v[6] = {cells.c[0], cells.c[1], cells.c[2],
                                   cells.c[3], cells.c[4], cells.c[5]};
    pdf.write(v);
}

// Draws the PDF's lines on a thread of its own, in the order they come:
// laying out and drawing a line costs several times what reading and
// writing its record to a workbook does, and the two overlap. At most
// LINES_WAITING lines wait, so memory does not grow with the rows.
class pdf_drawer {
public:
    explicit pdf_drawer(pdf_listing& pdf) : pdf_(pdf), thread_([this] { run(); }) { }
    ~pdf_drawer() { finish(); }
    pdf_drawer(const pdf_drawer&) = delete;
    pdf_drawer& operator=(const pdf_drawer&) = delete;

    void add(export_cells cells)
    {
        std::unique_lock lock(m_);
        room_.wait(lock, [this] { return lines_.size() < LINES_WAITING; });
        lines_.push_back(std::move(cells));
        if (lines_.size() == 1)
            ready_.notify_one();
    }

    // Draws what is waiting and ends the thread.
    void finish()
    {
        {
            std::lock_guard lock(m_);
            if (done_)
                return;
            done_ = true;
        }
        ready_.notify_one();
        thread_.join();
    }

private:
    static constexpr std::size_t LINES_WAITING = 4096;

    void run()
    {
        std::deque<export_cells> batch;
        for (;;) {
            {
                std::unique_lock lock(m_);
                ready_.wait(lock, [this] { return !lines_.empty() || done_; });
                if (lines_.empty())
                    return;
                batch.swap(lines_);
            }
            room_.notify_one();
            for (const auto& cells : batch)
                pdf_line(pdf_, cells);
            batch.clear();
        }
    }

    pdf_listing& pdf_;
    std::mutex m_;
    std::condition_variable ready_, room_;
    std::deque<export_cells> lines_;
    bool done_ = false;
    std::thread thread_;
};

unsigned current_language()
{
    // The language switch writes it on the main loop while the worker reads.
    return std::atomic_ref<unsigned>(language_nu).load(std::memory_order_relaxed);
}

}  // namespace

namespace {

// The outputs of one export: the workbooks one after another, and the PDF
// with its drawing thread. What fails is noted in the result and that
// output stops; the others go on.
class export_outputs {
public:
    export_outputs(const export_request& req, const excel_entries& excel, bool excel_on,
                   export_result& res)
        : req_(req), res_(res), books_(excel, req.dir, req.name), excel_on_(excel_on),
          pdf_on_(req.pdf)
    { }

    // Creates the PDF with the header line.
    void open_pdf(const export_cells& headers)
    {
        if (!pdf_on_)
            return;
        if (pdf_.open(pdf_path()))
            pdf_line(pdf_, headers);
        else {
            res_.pdf_failed = true;
            pdf_on_ = false;
        }
    }

    // The statement failed: a PDF with its header only would look like an
    // empty result.
    void drop_pdf()
    {
        if (!pdf_on_)
            return;
        pdf_.close();
        std::remove(pdf_path().c_str());
        pdf_on_ = false;
    }

    // The first workbook with the header row; the PDF's drawing thread.
    void start(const export_cells& headers)
    {
        if (pdf_on_)
            drawer_.emplace(pdf_);
        if (!excel_on_)
            return;
        // Exactly that file goes, whatever its name holds.
        std::error_code ec;
        std::filesystem::remove(std::filesystem::path(req_.dir) / req_.name, ec);
        if (!books_.start(req_.name) || !books_.write(headers))
            drop_workbooks(req_.name);
    }

    // One record; after the last record of a workbook the next one starts.
    void write(const export_cells& cells)
    {
        ++in_book_;
        if (excel_on_ && !books_.write(cells))
            drop_workbooks(books_.current());
        if (pdf_on_)
            drawer_->add(cells);
        if (excel_on_ && in_book_ >= RECORDS_PER_WORKBOOK)
            next_workbook();
    }

    void finish()
    {
        if (excel_on_) {
            if (books_.finish())
                res_.workbooks.push_back(books_.current());
            else
                res_.workbook_failed = books_.current();
        }
        if (pdf_on_) {
            drawer_->finish();
            if (pdf_.close())
                res_.pdf_written = true;
            else
                res_.pdf_failed = true;
        }
    }

private:
    std::string pdf_path() const { return req_.dir + "/" + res_.pdf_name; }

    void drop_workbooks(const std::string& failed)
    {
        res_.workbook_failed = failed;
        books_.finish();  // lets the module drop what it holds
        excel_on_ = false;
    }

    void next_workbook()
    {
        in_book_ = 0;
        if (!books_.finish()) {
            res_.workbook_failed = books_.current();
            excel_on_ = false;
            return;
        }
        res_.workbooks.push_back(books_.current());
        const std::string next = get_split_filename(req_.name, ++continuation_);
        if (!books_.start(next))
            drop_workbooks(next);
    }

    const export_request& req_;
    export_result& res_;
    workbook_series books_;
    bool excel_on_;
    bool pdf_on_;
    pdf_listing pdf_;
    std::optional<pdf_drawer> drawer_;
    unsigned long long in_book_ = 0;  // records of the current workbook
    unsigned continuation_ = 0;
};

// Reads the result row by row and writes each record; the count of step
// one gives the progress fraction.
void write_records(MYSQL_RES* rows, export_outputs& out, const export_hooks& hooks,
                   export_result& res)
{
    const unsigned fields = mysql_num_fields(rows);
    const double total = static_cast<double>(std::max(res.count, 1LL));
    log_display_row display;
    unsigned long long i = 0;
    while (MYSQL_ROW row = mysql_fetch_row(rows)) {
        ++i;
        if (hooks.before_record)
            hooks.before_record(i);
        if (i % 2 == 0 && hooks.progress)
            hooks.progress(std::min(1.0, static_cast<double>(i) / total));
        GetOneRowFromDB(row, fields, display, true);
        out.write(record_cells(display, current_language()));
    }
    // An odd count ends between two reports: the bar still reaches the end.
    if (i % 2 != 0 && hooks.progress)
        hooks.progress(std::min(1.0, static_cast<double>(i) / total));
    res.records = i;
}

}  // namespace

export_result run_export(const export_request& req, const excel_entries& excel,
                         const export_hooks& hooks)
{
    export_result res;
    res.pdf_name = req.name + ".pdf";
    if (g_mkdir_with_parents(req.dir.c_str(), 0755) != 0) {
        res.dir_failed = true;
        return res;
    }
    // Without the module its entries are never called.
    res.excel_missing = req.excel && !excel.loaded();
    job_connection db(req.db);
    if (!db.get()) {
        res.connect_failed = true;
        return res;
    }
    const std::string stmt = utf8_clean(req.statement, {.bmp_only = true});
    const std::string count_stmt = count_statement(stmt);
    res.count =
        count_stmt.empty() ? -1 : db.count(time_limited(count_stmt, req.count_time_limit_s));
    if (res.count < 0) {
        res.statement_failed = true;
        res.count_too_long = mysql_errno(db.get()) == ER_STATEMENT_TIMEOUT;
        return res;
    }

    const export_cells headers = export_headers(current_language());
    export_outputs out(req, excel, req.excel && !res.excel_missing, res);
    out.open_pdf(headers);
    MYSQL_RES* rows = nullptr;
    if (mysql_real_query(db.get(), stmt.data(), stmt.size()) != 0 ||
        !(rows = mysql_use_result(db.get()))) {
        res.statement_failed = true;
        out.drop_pdf();
        return res;
    }
    out.start(headers);
    write_records(rows, out, hooks, res);
    // A fetch that ended on an error (the connection broke) is no end of
    // the result.
    if (mysql_errno(db.get()) != 0)
        res.statement_failed = true;
    mysql_free_result(rows);
    out.finish();
    return res;
}

copy_result copy_export_files(const export_result& res, const std::string& dir,
                              const std::string& folder)
{
    copy_result out;
    if (folder.empty()) {
        out.no_folder = true;
        return out;
    }
    struct stat a {
    }, b {};
    if (::stat(dir.c_str(), &a) == 0 && ::stat(folder.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino) {
        out.same_folder = true;
        return out;
    }
    std::vector<std::string> files = res.workbooks;
    if (res.pdf_written)
        files.push_back(res.pdf_name);
    for (const auto& f : files) {
        if (CopyFile((dir + "/" + f).c_str(), (folder + "/" + f).c_str()) == 0)
            out.copied.push_back(f);
        else
            out.failed.push_back(f);
    }
    return out;
}

std::string completion_message(const export_request& req, const export_result& res,
                               const std::string& cwd, unsigned lang)
{
    const std::string where = cwd + "/" + EXPORT_DIR + "/";
    if (res.complete(req)) {
        static const tr3 ok = {
            "导出成功：放在你所选的目录,在文件夹 %s 留有备份",
            "export success: the file copy to the selected folder,and the folder %s",
            "導出成功：放在你所選的目錄，在文件夾 %s 留有備份"};
        return format(in_language(ok, lang), where);
    }
    static const tr3 head = {"导出未完成：", "export not complete:", "導出未完成："};
    static const tr3 dir_failed = {"无法创建文件夹 %s", "the folder %s cannot be created",
                                   "無法創建文件夾 %s"};
    static const tr3 connect_failed = {"无法连接数据库，没有写入任何文件",
                                       "cannot connect to the database: nothing was written",
                                       "無法連接數據庫，沒有寫入任何文件"};
    static const tr3 statement_failed = {
        "数据库拒绝了筛选语句或查询中断，记录没有全部写入",
        "the database refused the filter statement or the query broke off: "
        "not all records were written",
        "數據庫拒絕了篩選語句或查詢中斷，記錄沒有全部寫入"};
    static const tr3 count_too_long = {
        "统计记录时间过长,已停止,没有写入任何文件",
        "counting the records took too long and was stopped: nothing was written",
        "統計記錄時間過長,已停止,沒有寫入任何文件"};
    static const tr3 excel_missing = {
        "Excel 模块 vc_dll_excel.dll 未加载，没有写入工作簿",
        "the Excel module vc_dll_excel.dll is not loaded: no workbook was written",
        "Excel 模塊 vc_dll_excel.dll 未加載，沒有寫入工作簿"};
    static const tr3 workbook_failed = {
        "工作簿 %s 及其后的记录未能写入（磁盘已满？）",
        "the workbook %s and the records after it could not be written "
        "(disk full?)",
        "工作簿 %s 及其後的記錄未能寫入（磁盤已滿？）"};
    static const tr3 pdf_failed = {"PDF 文件 %s 未能写入（磁盘已满？）",
                                   "the PDF %s could not be written (disk full?)",
                                   "PDF 文件 %s 未能寫入（磁盤已滿？）"};
    static const tr3 written = {"已写入的文件在文件夹 %s", "the files written are in the folder %s",
                                "已寫入的文件在文件夾 %s"};
    std::string text = in_language(head, lang);
    auto line = [&](const std::string& l) { text += "\n" + l; };
    if (res.dir_failed)
        line(format(in_language(dir_failed, lang), where));
    if (res.connect_failed)
        line(in_language(connect_failed, lang));
    if (res.count_too_long)
        line(in_language(count_too_long, lang));
    else if (res.statement_failed)
        line(in_language(statement_failed, lang));
    if (req.excel && res.excel_missing)
        line(in_language(excel_missing, lang));
    if (req.excel && !res.workbook_failed.empty())
        line(format(in_language(workbook_failed, lang), res.workbook_failed));
    if (req.pdf && res.pdf_failed)
        line(format(in_language(pdf_failed, lang), res.pdf_name));
    if (!res.workbooks.empty() || res.pdf_written)
        line(format(in_language(written, lang), where));
    return text;
}

std::string copy_failure_message(const copy_result& copy, const std::string& folder, unsigned lang)
{
    if (copy.failed.empty())
        return "";
    static const tr3 head = {"未能复制到 %s：", "could not copy to %s:", "未能複製到 %s："};
    std::string text = format(in_language(head, lang), folder);
    for (const auto& f : copy.failed)
        text += "\n" + f;
    return text;
}
