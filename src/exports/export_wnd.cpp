#include "exports/export_wnd.h"

#include "base/language.h"
#include "base/other_func.h"
#include "browse/button_wnd_list.h"
#include "browse/tree2.h"
#include "companion/extern.h"
#include "exports/export_job.h"
#include "exports/export_state.h"
#include "filter/filter_wnd_2.h"
#include "gui/main_window.h"
#include "gui/message_box.h"
#include "storage/mysql_ctrl.h"
#include "storage/page_set.h"

#include <glib/gstdio.h>

#include <cstdio>
#include <memory>

GtkWidget* vbox_top_progress = nullptr;
GtkWidget* progress = nullptr;
std::atomic<double> pos_33 {0.5};

GtkWidget* dialog_save_excel = nullptr;
GtkWidget* edit1_save_excel = nullptr;
GtkWidget* chooser1 = nullptr;
GtkWidget* check1_export = nullptr;
GtkWidget* check2_export = nullptr;

std::string name_excel;
std::string save_folder;
bool b_export_pdf = false;
bool b_export_excel = false;

namespace {

const tr3 FRAME_NAME = {"文件名", "file name", "文件名"};
const tr3 FRAME_FOLDER = {"保存文件夹", "store folder", "保存文件夾"};
const tr3 CHECK_PDF = {"导出pdf", "export pdf", "導出pdf"};
const tr3 CHECK_EXCEL = {"导出excel", "export excel", "導出excel"};
const tr3 PROMPT = {"请输入导出文件名", "set file name", "請輸入導出文件名"};
const tr3 SAVE = {"保存", "save", "保存"};
const tr3 CANCEL = {"取消", "cancel", "取消"};
const tr3 EMPTY_NAME = {"输入文件名不能为空", "input name can not empty", "輸入文件名不能為空"};
const tr3 UNSAFE_NAME = {
    "文件名不能含有 / 、.. 或控制字符，也不能以 - 开头",
    "the file name must not hold '/', '..' or control characters, nor start with '-'",
    "文件名不能含有 / 、.. 或控制字符，也不能以 - 開頭"};
const tr3 NOTICE = {"如果导出数据过多，请耐心等待",
                    "if log counter is large,please wait for a moment",
                    "如果導出數據過多，請耐心等待"};
const tr3 NOTICE_TITLE = {"导出提示", "export notice", "導出提示"};
const tr3 GO_ON = {"继续", "go on", "繼續"};
const tr3 BACK = {"退出", "back", "退出"};
const tr3 DONE_TITLE = {"导出提示", "export", "導出提示"};
const tr3 OPEN_FILE = {"打开导出文件", "open file", "打開導出文件"};
const tr3 CLOSE_WINDOW = {"关闭窗口", "close file", "關閉窗口"};

// One export from its start to its completion message.
struct export_job {
    export_request req;
    std::string folder;  // where the files are copied
    export_result res;
};

std::atomic<bool> progress_pending {false};

std::string export_dir() { return std::string(GetExeDir()) + "/" + EXPORT_DIR; }

// The controls that would query through the main loop's connection, or
// change what the worker reads.
void set_controls_sensitive(gboolean on)
{
    for (GtkWidget* w : {hbox_1_filter, treeview, hbox_button_list})
        if (w)
            gtk_widget_set_sensitive(w, on);
}

GtkWidget* row_in_frame(GtkWidget* table, int row, const tr3& caption, GtkWidget* field)
{
    GtkWidget* label = gtk_label_new(tr(caption));
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    gtk_table_attach(GTK_TABLE(table), label, 0, 1, row, row + 1, GTK_FILL, GTK_FILL, 4, 2);
    gtk_table_attach(GTK_TABLE(table), field, 1, 2, row, row + 1,
                     static_cast<GtkAttachOptions>(GTK_EXPAND | GTK_FILL), GTK_FILL, 4, 2);
    return label;
}

// The chosen folder as a path, "" when none.
std::string chosen_folder()
{
    if (!chooser1)
        return "";
    gchar* f = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser1));
    if (!f)
        f = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser1));
    std::string out = f ? f : "";
    g_free(f);
    return out;
}

void publish_progress(double fraction)
{
    pos_33.store(fraction);
    // One update waiting on the main loop at most: the bar shows the latest
    // value when it runs.
    if (!progress_pending.exchange(true))
        g_idle_add(progress_proc, nullptr);
}

}  // namespace

void init_progress()
{
    vbox_top_progress = gtk_vbox_new(FALSE, 2);
    progress = gtk_progress_bar_new();
    gtk_progress_bar_set_text(GTK_PROGRESS_BAR(progress), "export");
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress), 0.5);
    gtk_box_pack_start(GTK_BOX(vbox_top_progress), progress, FALSE, FALSE, 0);
    gtk_widget_show(progress);
    if (button3_filter)
        g_signal_connect(button3_filter, "clicked", G_CALLBACK(button3_filter_clicked_thread),
                         nullptr);
}

void init_save_wnd(GtkWidget* box)
{
    GtkWidget* frame = gtk_frame_new("");
    GtkWidget* table = gtk_table_new(2, 2, FALSE);
    gtk_container_add(GTK_CONTAINER(frame), table);

    edit1_save_excel = gtk_entry_new();
    row_in_frame(table, 0, FRAME_NAME, edit1_save_excel);

    chooser1 =
        gtk_file_chooser_button_new("Chooser a Folder", GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
    const std::string dir = export_dir();
    g_mkdir_with_parents(dir.c_str(), 0755);
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser1), dir.c_str());
    gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(chooser1), dir.c_str());
    row_in_frame(table, 1, FRAME_FOLDER, chooser1);

    check1_export = gtk_check_button_new_with_label(tr(CHECK_PDF));
    check2_export = gtk_check_button_new_with_label(tr(CHECK_EXCEL));
    gtk_box_pack_start(GTK_BOX(box), frame, FALSE, FALSE, 2);
    gtk_box_pack_start(GTK_BOX(box), check1_export, FALSE, FALSE, 2);
    gtk_box_pack_start(GTK_BOX(box), check2_export, FALSE, FALSE, 2);
}

void get_excel_name_excel()
{
    name_excel = export_file_name(gtk_entry_get_text(GTK_ENTRY(edit1_save_excel)));
}

int create_save_excel()
{
    b_export_pdf = false;
    b_export_excel = false;
    dialog_save_excel = gtk_dialog_new_with_buttons(
        "export", window ? GTK_WINDOW(window) : nullptr,
        static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), tr(SAVE),
        GTK_RESPONSE_OK, tr(CANCEL), GTK_RESPONSE_CANCEL, nullptr);
    gtk_window_set_default_size(GTK_WINDOW(dialog_save_excel), 300, 150);
    GtkWidget* box = GTK_DIALOG(dialog_save_excel)->vbox;
    gtk_box_pack_start(GTK_BOX(box), gtk_label_new(tr(PROMPT)), FALSE, FALSE, 2);
    init_save_wnd(box);
    gtk_widget_show_all(dialog_save_excel);

    int result = -1;
    if (run_dialog(GTK_DIALOG(dialog_save_excel)) == GTK_RESPONSE_OK) {
        b_export_pdf = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check1_export));
        b_export_excel = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check2_export));
        if (b_export_pdf || b_export_excel) {
            const char* typed = gtk_entry_get_text(GTK_ENTRY(edit1_save_excel));
            switch (check_export_name(typed)) {
            case name_problem::empty:
                MessageBox_2(tr(EMPTY_NAME));
                break;
            case name_problem::unsafe:
                MessageBox_2(tr(UNSAFE_NAME));
                break;
            case name_problem::none:
                get_excel_name_excel();
                result = 0;
                break;
            }
        }
    }
    save_folder = chosen_folder();
    gtk_widget_destroy(dialog_save_excel);
    dialog_save_excel = edit1_save_excel = chooser1 = check1_export = check2_export = nullptr;
    return result;
}

void button3_filter_clicked_thread(GtkButton* /*button*/, GtkWindow* /*parent*/)
{
    if (export_running())
        return;
    if (create_save_excel() != 0 || sql_cmd_filter.empty())
        return;
    if (MessageBox_4(tr(NOTICE), tr(NOTICE_TITLE), tr(GO_ON), tr(BACK)) != GTK_RESPONSE_OK)
        return;

    // Everything the worker needs, read here on the GUI thread: the
    // statement is the one the panel's inputs give now.
    auto job = std::make_unique<export_job>();
    job->req.statement = sql_cmd_filter;
    sql_get_filter(job->req.statement);
    job->req.name = name_excel;
    job->req.dir = export_dir();
    job->req.pdf = b_export_pdf;
    job->req.excel = b_export_excel;
    job->req.db = query_settings();
    job->folder = save_folder;

    if (vbox_top_progress)
        gtk_widget_show(vbox_top_progress);
    set_controls_sensitive(FALSE);
    set_export_running(true);
    GError* error = nullptr;
    export_job* handed = job.release();  // the worker hands it to excel_ok
    GThread* worker = g_thread_try_new("export", argument_thread, handed, &error);
    if (!worker) {
        delete handed;
        std::fprintf(stderr, "Failed to create YES thread: %s\n", error ? error->message : "");
        g_clear_error(&error);
        set_export_running(false);
        set_controls_sensitive(TRUE);
        return;
    }
    g_thread_unref(worker);
}

void* argument_thread(void* args)
{
    auto* job = static_cast<export_job*>(args);
    export_hooks hooks;
    hooks.progress = publish_progress;
    hooks.before_record = export_record_hook;
    job->res = run_export(job->req, loaded_excel_entries(), hooks);
    g_idle_add(excel_ok, job);
    return nullptr;
}

gboolean progress_proc(void* /*pData*/)
{
    progress_pending.store(false);
    if (progress)
        gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress), pos_33.load());
    return FALSE;
}

gboolean excel_ok(void* pData)
{
    std::unique_ptr<export_job> job(static_cast<export_job*>(pData));
    const std::string cwd = GetExeDir();
    const std::string text = completion_message(job->req, job->res, cwd, language_nu);
    if (MessageBox_4(text.c_str(), tr(DONE_TITLE), tr(OPEN_FILE), tr(CLOSE_WINDOW)) ==
        GTK_RESPONSE_OK) {
        // The first workbook and the PDF, where they were written.
        if (!job->res.workbooks.empty())
            open_with_default_program((job->req.dir + "/" + job->res.workbooks.front()).c_str());
        if (job->res.pdf_written)
            open_with_default_program((job->req.dir + "/" + job->res.pdf_name).c_str());
    }
    const copy_result copied = copy_export_files(job->res, job->req.dir, job->folder);
    std::puts(copied.same_folder || copied.no_folder ? "no export" : "ok to export");
    std::fflush(stdout);
    const std::string failed = copy_failure_message(copied, job->folder, language_nu);
    if (!failed.empty())
        MessageBox_(failed.c_str());

    if (vbox_top_progress)
        gtk_widget_hide(vbox_top_progress);
    set_controls_sensitive(TRUE);
    set_export_running(false);
    return FALSE;
}
