#include "filter/filter_wnd_2.h"

#include "base/language.h"
#include "browse/button_wnd_list.h"
#include "browse/list_data.h"
#include "browse/set_list_data.h"
#include "browse/tree2.h"
#include "filter/calendar.h"
#include "filter/filter_query.h"
#include "filter/show_filter_num_wnd.h"
#include "gui/message_box.h"
#include "storage/mysql_ctrl.h"
#include "storage/page_set.h"

#include <string>

GtkWidget* vbox_top_filter = nullptr;
GtkWidget* frame1_filter = nullptr;
GtkWidget* hpaned_1_filter = nullptr;
GtkWidget* hbox_2_filter = nullptr;
GtkWidget* vbox_2_filter = nullptr;
GtkWidget* frame_top = nullptr;
GtkWidget* vbox_1_filter = nullptr;
GtkWidget* frame_user = nullptr;
GtkWidget* frame_sourceip = nullptr;
GtkWidget* frame_content = nullptr;
GtkWidget* edit1_filter = nullptr;
GtkWidget* edit2_filter = nullptr;
GtkWidget* edit3_filter = nullptr;
GtkWidget* hbox_1_filter = nullptr;
GtkWidget* button1_filter = nullptr;
GtkWidget* button2_filter = nullptr;
GtkWidget* button3_filter = nullptr;

namespace {

const tr3 CHECK = {"是否启用", "input to filter", "是否啟用"};
const tr3 START_FRAME = {"起始时间选择", "select start time", "起始時間選擇"};
const tr3 END_FRAME = {"结束时间选择", "select end time", "結束時間選擇"};
const tr3 TOP_FRAME = {"文本输出过滤", "sql result filter", "文本輸出過濾"};
const tr3 USER_FRAME = {"用户", "user", "用戶"};
const tr3 SOURCE_FRAME = {"源ip", "source ip", "源ip"};
const tr3 CONTENT_FRAME = {"内容", "content", "內容"};
const tr3 FILTER_BUTTON = {"过滤", "filter", "過濾"};
const tr3 DELETE_BUTTON = {"删除筛选内容", "delete \nfiltered \ninfo", "刪除篩選類容"};
const tr3 EXPORT_BUTTON = {"导出文件", "export log", "導出文件"};
const tr3 PANEL_FRAME = {"筛选条件", "filter ctrl", "篩選條件"};

// The question before a deletion: head, number of records, tail.
const tr3 CONFIRM_HEAD = {"确认删除筛选出的 ", "Delete the ", "確認刪除篩選出的 "};
const tr3 CONFIRM_TAIL = {" 条记录吗", " filtered records?", " 條記錄嗎"};
const tr3 DELETE_FAILED = {"删除筛选内容失败,记录未删除",
                           "Deleting the filtered records failed; nothing was deleted.",
                           "刪除篩選內容失敗,記錄未刪除"};
const tr3 DELETE_TOO_LONG = {"删除筛选内容时间过长,已停止,记录未删除",
                             "Deleting the filtered records took too long and was stopped; "
                             "nothing was deleted.",
                             "刪除篩選內容時間過長,已停止,記錄未刪除"};

// What the last filter action showed and counted; empty statement: nothing.
struct shown_filter {
    std::string statement;
    long long count = 0;
    unsigned long long max_id = 0;
};
shown_filter last_shown;

void set_sensitive(GtkWidget* w, gboolean on)
{
    if (w)
        gtk_widget_set_sensitive(w, on);
}

void set_bg(GtkWidget* widget, const char* colour)
{
    GdkColor c;
    if (gdk_color_parse(colour, &c))
        gtk_widget_modify_bg(widget, GTK_STATE_NORMAL, &c);
}

std::string entry_text(GtkWidget* entry)
{
    return entry ? gtk_entry_get_text(GTK_ENTRY(entry)) : "";
}

// A frame around one entry of at most max_chars characters.
GtkWidget* entry_frame(const char* caption, int max_chars, GtkWidget** entry)
{
    GtkWidget* frame = gtk_frame_new(caption);
    set_bg(frame, "#87bffd");
    *entry = gtk_entry_new();
    gtk_entry_set_max_length(GTK_ENTRY(*entry), max_chars);
    gtk_container_add(GTK_CONTAINER(frame), *entry);
    gtk_box_pack_start(GTK_BOX(vbox_1_filter), frame, TRUE, TRUE, 0);
    return frame;
}

GtkWidget* row_button(const char* label)
{
    GtkWidget* b = gtk_button_new_with_label(label);
    gtk_box_pack_start(GTK_BOX(hbox_1_filter), b, TRUE, TRUE, 0);
    return b;
}

// The watch cursor over the panel's window while a statement runs; the
// main loop does not run meanwhile, so it is sent at once.
class busy_cursor {
public:
    busy_cursor()
    {
        GtkWidget* top = vbox_top_filter ? gtk_widget_get_toplevel(vbox_top_filter) : nullptr;
        if (!top || !gtk_widget_is_toplevel(top) || !gtk_widget_get_realized(top))
            return;
        window_ = gtk_widget_get_window(top);
        GdkCursor* watch = gdk_cursor_new(GDK_WATCH);
        gdk_window_set_cursor(window_, watch);
        gdk_cursor_unref(watch);
        gdk_flush();
    }
    ~busy_cursor()
    {
        if (window_)
            gdk_window_set_cursor(window_, nullptr);
    }
    busy_cursor(const busy_cursor&) = delete;
    busy_cursor& operator=(const busy_cursor&) = delete;

private:
    GdkWindow* window_ = nullptr;
};

// A filter action without a result: nothing to delete or export.
void filter_failed(filter_failure why)
{
    last_shown = {};
    set_sensitive(button2_filter, FALSE);
    set_sensitive(button3_filter, FALSE);
    show_filter_failure(why);
}

void relabel(unsigned lang)
{
    if (!vbox_top_filter)
        return;
    auto text = [lang](const tr3& t) { return tr(t, lang); };
    for (CalendarData* d : {&calendar_start_data, &calendar_end_data})
        gtk_button_set_label(GTK_BUTTON(d->check), text(CHECK));
    gtk_frame_set_label(GTK_FRAME(calendar_start_data.frame), text(START_FRAME));
    gtk_frame_set_label(GTK_FRAME(calendar_end_data.frame), text(END_FRAME));
    gtk_frame_set_label(GTK_FRAME(frame_top), text(TOP_FRAME));
    gtk_frame_set_label(GTK_FRAME(frame_user), text(USER_FRAME));
    gtk_frame_set_label(GTK_FRAME(frame_sourceip), text(SOURCE_FRAME));
    gtk_frame_set_label(GTK_FRAME(frame_content), text(CONTENT_FRAME));
    gtk_button_set_label(GTK_BUTTON(button1_filter), text(FILTER_BUTTON));
    gtk_button_set_label(GTK_BUTTON(button2_filter), text(DELETE_BUTTON));
    gtk_button_set_label(GTK_BUTTON(button3_filter), text(EXPORT_BUTTON));
    gtk_frame_set_label(GTK_FRAME(frame1_filter), text(PANEL_FRAME));
}

}  // namespace

void init_filter_wnd()
{
    create_calendar();
    create_calendar_end();
    last_shown = {};

    vbox_top_filter = gtk_vbox_new(FALSE, 2);
    frame1_filter = gtk_frame_new("筛选条件");
    gtk_box_pack_start(GTK_BOX(vbox_top_filter), frame1_filter, TRUE, TRUE, 0);
    hpaned_1_filter = gtk_hpaned_new();
    gtk_container_add(GTK_CONTAINER(frame1_filter), hpaned_1_filter);

    hbox_2_filter = gtk_hbox_new(TRUE, 0);
    gtk_box_pack_start(GTK_BOX(hbox_2_filter), vbox_calendar, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(hbox_2_filter), vbox_calendar_end, TRUE, TRUE, 0);
    gtk_paned_pack1(GTK_PANED(hpaned_1_filter), hbox_2_filter, TRUE, TRUE);

    vbox_2_filter = gtk_vbox_new(FALSE, 2);
    gtk_paned_pack2(GTK_PANED(hpaned_1_filter), vbox_2_filter, FALSE, FALSE);
    frame_top = gtk_frame_new("文本输出过滤");
    gtk_container_set_border_width(GTK_CONTAINER(frame_top), 1);
    vbox_1_filter = gtk_vbox_new(TRUE, 2);
    gtk_container_add(GTK_CONTAINER(frame_top), vbox_1_filter);
    frame_user = entry_frame("用户", 30, &edit1_filter);
    frame_sourceip = entry_frame("源ip", 15, &edit2_filter);
    frame_content = entry_frame("内容", 50, &edit3_filter);

    hbox_1_filter = gtk_hbox_new(TRUE, 2);
    button1_filter = row_button("筛选");
    button2_filter = row_button("删除筛选内容");
    button3_filter = row_button("导出文件");
    gtk_box_pack_start(GTK_BOX(vbox_2_filter), frame_top, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(vbox_2_filter), hbox_1_filter, FALSE, FALSE, 0);

    for (GtkWidget* w : {frame1_filter, frame_top})
        set_bg(w, "#87bffd");

    g_signal_connect(button1_filter, "clicked", G_CALLBACK(button1_click_filter), nullptr);
    g_signal_connect(button2_filter, "clicked", G_CALLBACK(button2_filter_clicked), nullptr);
}

void set_filter_button_image(GtkWidget* image)
{
    if (button1_filter && image)
        gtk_button_set_image(GTK_BUTTON(button1_filter), image);
}

void resize_paned_filter() { }

filter_inputs read_filter_inputs()
{
    filter_inputs in;
    in.base = sql_cmd_filter;
    in.user = entry_text(edit1_filter);
    in.source_ip = entry_text(edit2_filter);
    in.start_on = get_check_cal_start();
    in.start = get_time_cal_start();
    in.end_on = get_check_cal_end();
    in.end = get_time_cal_end();
    in.content = entry_text(edit3_filter);
    return in;
}

void sql_get_filter(std::string& pSql)
{
    filter_inputs in = read_filter_inputs();
    in.base = pSql;
    pSql = filter_statement(in, mysql);
}

void button1_click_filter(GtkButton*, gpointer)
{
    set_sensitive(button1_list, FALSE);
    reset_page();
    if (sql_cmd_filter.empty())
        return;
    std::string statement = sql_cmd_filter;
    sql_get_filter(statement);

    busy_cursor busy;
    std::string paged = statement;
    sql_get_page(paged);
    guint rows = 0;
    if (sql_to_list_cmd(paged, &rows) != 0) {
        filter_failed(last_filter_failure());
        return;
    }
    const filter_count counted = count_filter_matches(statement);
    if (counted.failure != filter_failure::none) {
        filter_failed(counted.failure);
        return;
    }
    last_shown = {statement, counted.count, counted.max_id};
    set_sensitive(button2_filter, TRUE);
    set_sensitive(button3_filter, TRUE);
    show_filter_num(counted.count);
}

void button2_filter_clicked(GtkButton*, GtkWindow*)
{
    if (last_shown.statement.empty())
        return;
    const std::string question =
        tr(CONFIRM_HEAD) + std::to_string(last_shown.count) + tr(CONFIRM_TAIL);
    if (MessageBox_2(question.c_str()) == GTK_RESPONSE_CANCEL)
        return;
    int rc = 0;
    {
        busy_cursor busy;
        rc = delete_filter_matches(last_shown.statement, last_shown.max_id);
    }
    if (rc != 0) {
        MessageBox_(tr(last_filter_failure() == filter_failure::too_long ? DELETE_TOO_LONG
                                                                         : DELETE_FAILED));
        return;
    }
    // What the filter showed is gone: nothing is left to delete.
    last_shown = {};
    set_sensitive(button2_filter, FALSE);
    reset_page();
    RemoveAll();
    set_paging_buttons(0);
    rebuild_tree();
}

void filter_node_changed()
{
    last_shown = {};
    set_sensitive(button2_filter, FALSE);
    set_sensitive(button3_filter, FALSE);
}

void set_lan_chinese_filter() { relabel(0); }
void set_lan_en_filter() { relabel(1); }
void set_lan_fanti_filter() { relabel(2); }
