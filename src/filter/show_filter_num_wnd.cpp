#include "filter/show_filter_num_wnd.h"

#include "base/language.h"

#include <string>

GtkWidget* hbox_top_filter_num = nullptr;
GtkWidget* label_filter_num = nullptr;

namespace {

// The caption alone, and the caption with the number of matches.
const tr3 CAPTION = {"筛选总数:", "filter num:", "篩選總數:"};
const tr3 COUNT = {"筛选总数:", "filter nu:", "篩選總數:"};
const tr3 REJECTED = {"筛选总数:筛选条件未被接受", "filter nu:the filter was not accepted",
                      "篩選總數:篩選條件未被接受"};
const tr3 TOO_LONG = {"筛选总数:查询时间过长,已停止", "filter nu:the filter took too long",
                      "篩選總數:查詢時間過長,已停止"};
const tr3 UNREACHABLE = {"筛选总数:无法连接数据库", "filter nu:the database cannot be reached",
                         "篩選總數:無法連接資料庫"};

void set_text(const char* text)
{
    if (label_filter_num)
        gtk_label_set_text(GTK_LABEL(label_filter_num), text);
}

}  // namespace

void init_show_num()
{
    hbox_top_filter_num = gtk_hbox_new(FALSE, 2);
    label_filter_num = gtk_label_new("筛选总数");
    gtk_box_pack_start(GTK_BOX(hbox_top_filter_num), label_filter_num, FALSE, FALSE, 0);
}

void show_filter_num(long long count)
{
    set_text((std::string(tr(COUNT)) + std::to_string(count)).c_str());
}

void show_filter_failure(filter_failure why)
{
    switch (why) {
    case filter_failure::too_long:
        set_text(tr(TOO_LONG));
        break;
    case filter_failure::unreachable:
        set_text(tr(UNREACHABLE));
        break;
    default:
        set_text(tr(REJECTED));
        break;
    }
}

void change_chinese_filter_num() { set_text(tr(CAPTION, 0)); }
void change_en_filter_num() { set_text(tr(CAPTION, 1)); }
void change_fanti_filter_num() { set_text(tr(CAPTION, 2)); }
