// The export's windows: the dialog that names the files, the notice, the
// progress box, and the completion message with opening and copying. The
// statement is built here on the GUI thread when the export starts; the
// worker (export_job.h) gets it with everything else it needs and touches
// no widget: its progress and its end come back through idle callbacks.
#pragma once

#include <gtk/gtk.h>

#include <atomic>
#include <string>

// The progress box (vertical, spacing 2) with the bar "export", which starts
// at 0.5 and keeps the previous export's value until the first update. The
// main window places the box and hides it at start-up.
extern GtkWidget* vbox_top_progress;
extern GtkWidget* progress;
// The fraction the worker published last.
extern std::atomic<double> pos_33;

// The export dialog's widgets while it is shown (null otherwise).
extern GtkWidget* dialog_save_excel;
extern GtkWidget* edit1_save_excel;  // file name
extern GtkWidget* chooser1;          // folder to copy the files to
extern GtkWidget* check1_export;     // PDF
extern GtkWidget* check2_export;     // Excel

// What the last export dialog gave: the file name (typed name + ".xls"),
// the chosen folder (UTF-8, "" when none) and the outputs ticked.
extern std::string name_excel;
extern std::string save_folder;
extern bool b_export_pdf;
extern bool b_export_excel;

// Builds the progress box and connects the filter panel's export button to
// button3_filter_clicked_thread. Called once by start-up, after the filter
// panel is built.
void init_progress();

// The export dialog: 0 when an export is to run (name_excel, save_folder
// and the flags are set), -1 when it was cancelled, nothing was ticked, or
// the name is empty or unsafe (the last two with a message).
int create_save_excel();
// Builds the dialog's contents into `box`: the name and folder rows and the
// two check boxes.
void init_save_wnd(GtkWidget* box);
// name_excel from the typed name.
void get_excel_name_excel();

// The export button's handler: dialog, notice, progress box, the worker,
// and the controls made insensitive until the completion message has run.
// Does nothing while an export runs.
void button3_filter_clicked_thread(GtkButton* button, GtkWindow* parent);

// Idle callbacks on the GUI thread; each runs once.
gboolean progress_proc(void* pData);
gboolean excel_ok(void* pData);  // pData: the finished job
// The worker's body; `args` is the job.
void* argument_thread(void* args);
