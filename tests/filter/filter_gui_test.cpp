// The filter panel under the test display: the filter, count and delete
// actions against the test database, the pickers and the language switch.
#include "app/language_switch.h"
#include "base/language.h"
#include "support/browse_db.h"
#include "browse/set_list_data.h"
#include "filter/calendar.h"
#include "filter/filter_query.h"
#include "filter/filter_wnd_2.h"
#include "filter/picker_time.h"
#include "filter/show_filter_num_wnd.h"
#include "storage/page_set.h"
#include "support/browse_window.h"
#include "support/gui_support.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

namespace {

const unsigned R = 0x0101A8C0;      // 192.168.1.1
const unsigned OTHER = 0x0201A8C0;  // 192.168.1.2

using texts = std::vector<std::string>;

std::vector<unsigned> range(unsigned from, unsigned to)
{
    std::vector<unsigned> out;
    for (unsigned v = from; v <= to; ++v)
        out.push_back(v);
    return out;
}

bool sensitive(GtkWidget* w) { return gtk_widget_get_sensitive(w); }
std::string count_label() { return gtk_label_get_text(GTK_LABEL(label_filter_num)); }
std::string frame_label(GtkWidget* f) { return gtk_frame_get_label(GTK_FRAME(f)); }
void click(GtkWidget* b) { gtk_button_clicked(GTK_BUTTON(b)); }
void type_into(GtkWidget* entry, const char* text) { gtk_entry_set_text(GTK_ENTRY(entry), text); }

void store_one(unsigned ip, unsigned type, const std::string& user, const std::string& content,
               unsigned time = 1000)
{
    stored_row r;
    r.ip = ip;
    r.type = type;
    r.user = user;
    r.content = r.cn = r.tw = r.en = content;
    r.time = time;
    store_row(r);
}

long long rows_of(unsigned ip, unsigned type) { return get_sql_counter(list_statement(ip, type)); }

// Router R: 50 rows of type 1, every fifth by "guest" (ids 1, 6, 11, ...),
// the others by "admin"; 5 admin rows of type 4; and 5 admin rows of type 1
// of another router. The tree's cursor on R's type 1.
void store_users_and_select()
{
    for (unsigned i = 0; i < 50; ++i)
        store_one(R, 1, i % 5 ? "admin" : "guest", "row", 1000 + i);
    for (unsigned i = 0; i < 5; ++i) {
        store_one(R, 4, "admin", "row");
        store_one(OTHER, 1, "admin", "row");
    }
    sql_to_tree();
    gtk_tree_view_expand_all(GTK_TREE_VIEW(treeview));
    set_tree_cursor("0:0");
}

// Runs the delete action with its boxes answered in turn; what they showed.
texts delete_answering(std::vector<int> answers)
{
    dialog_script script {std::move(answers), {}};
    script_dialogs(script);
    button2_filter_clicked(nullptr, nullptr);
    stop_scripting_dialogs();
    return script.shown;
}

void set_date(CalendarData& d, int year, int month, int day)
{
    gtk_calendar_select_month(GTK_CALENDAR(d.window), month, year);
    gtk_calendar_select_day(GTK_CALENDAR(d.window), day);
    for (GtkWidget* c : {d.hour, d.minute, d.second})
        gtk_combo_box_set_active(GTK_COMBO_BOX(c), 0);
}

}  // namespace

#define NEED_DB()                                                                                  \
    if (!db)                                                                                       \
    GTEST_SKIP() << "no test database"

class FilterPanel : public ::testing::Test {
protected:
    GtkWidget* win = nullptr;
    bool db = false;

    void SetUp() override
    {
        db = connect_test_db();
        language_nu = 0;
        query_time_limit_s = 30;
        init_browse_widgets();
        init_filter_wnd();
        init_show_num();
        static bool listening = false;
        if (!listening)
            tree_on_selected([](guint, guint) { filter_node_changed(); });
        listening = true;
        win = browse_window(vbox_top_filter, hbox_top_filter_num);
        // As start-up leaves them.
        gtk_widget_set_sensitive(button2_filter, FALSE);
        gtk_widget_set_sensitive(button3_filter, FALSE);
    }
    void TearDown() override
    {
        stop_scripting_dialogs();
        gtk_widget_destroy(win);
        language_nu = 0;
        query_time_limit_s = 30;
        if (db)
            exe_sql("unlock tables");
    }
};

TEST_F(FilterPanel, BeforeAnyTreeSelectionOnlyThePreviousPageButtonChanges)
{
    ASSERT_TRUE(sql_cmd_filter.empty());
    gtk_widget_set_sensitive(button1_list, TRUE);
    gtk_widget_set_sensitive(button2_list, TRUE);
    GtkTreeIter it;
    add_one_row(7, &it);
    click(button1_filter);
    EXPECT_FALSE(sensitive(button1_list));
    EXPECT_TRUE(sensitive(button2_list));
    EXPECT_EQ(list_column(LIST_COL_NUMBER), (std::vector<unsigned> {7}));
    EXPECT_EQ(count_label(), "筛选总数");
    EXPECT_FALSE(sensitive(button2_filter));
    EXPECT_FALSE(sensitive(button3_filter));
}

TEST_F(FilterPanel, FilterNarrowsTheListAndCountsAllPages)
{
    NEED_DB();
    store_users_and_select();
    EXPECT_EQ(list_column(LIST_COL_NUMBER), range(1, 20));
    gtk_button_clicked(GTK_BUTTON(button2_list));  // page 2 of the node
    type_into(edit1_filter, "admin");
    click(button1_filter);
    EXPECT_EQ(count_label(), "筛选总数:40");
    EXPECT_EQ(list_column(LIST_COL_NUMBER), range(1, 20));
    EXPECT_EQ(list_column(LIST_COL_ID).front(), 50u);
    EXPECT_TRUE(sensitive(button2_filter));
    EXPECT_TRUE(sensitive(button3_filter));
    EXPECT_FALSE(sensitive(button1_list));
    EXPECT_TRUE(sensitive(button2_list));
    // The busy cursor is gone again.
    EXPECT_EQ(gdk_window_get_cursor(gtk_widget_get_window(win)), nullptr);

    click(button2_list);
    EXPECT_EQ(list_column(LIST_COL_NUMBER), range(21, 40));
    EXPECT_EQ(list_column(LIST_COL_ID).back(), 2u);
    for (unsigned id : list_column(LIST_COL_ID))
        EXPECT_NE(id % 5, 1u) << id;
    click(button2_list);
    EXPECT_TRUE(list_column(LIST_COL_NUMBER).empty());
    EXPECT_FALSE(sensitive(button2_list));

    // The count follows the language at the time of the action.
    language_nu = 1;
    click(button1_filter);
    EXPECT_EQ(count_label(), "filter nu:40");
}

TEST_F(FilterPanel, DeleteRemovesWhatTheLastFilterCountedThoughTheInputsChanged)
{
    NEED_DB();
    store_users_and_select();
    type_into(edit1_filter, "admin");
    click(button1_filter);
    ASSERT_EQ(count_label(), "筛选总数:40");
    type_into(edit1_filter, "");  // an empty user would mean every record

    dialog_script cancel {{GTK_RESPONSE_CANCEL}, {}};
    script_dialogs(cancel);
    click(button2_filter);
    EXPECT_EQ(cancel.shown, (texts {"确认删除筛选出的 40 条记录吗"}));
    EXPECT_EQ(rows_of(R, 1), 50);

    store_one(R, 1, "admin", "arrived after the count");  // id 61
    EXPECT_EQ(delete_answering({GTK_RESPONSE_OK}).size(), 1u);
    EXPECT_EQ(rows_of(R, 1), 11);
    EXPECT_EQ(get_sql_counter(list_statement(R, 1) + " and cLogUser = 'guest'"), 10);
    EXPECT_EQ(get_sql_counter("select * from LogTab where id_inc = 61"), 1);
    EXPECT_EQ(rows_of(R, 4), 5);
    EXPECT_EQ(rows_of(OTHER, 1), 5);
    EXPECT_TRUE(list_column(LIST_COL_NUMBER).empty());
    EXPECT_FALSE(sensitive(button1_list));
    EXPECT_FALSE(sensitive(button2_list));
    EXPECT_FALSE(sensitive(button2_filter));
    GtkTreeIter it;
    ASSERT_EQ(tree_find_ip_2(R, &it), 0);
    EXPECT_EQ(cell_uint(GTK_TREE_MODEL(store), &it, TREE_COL_COUNT), 16u) << "the tree is rebuilt";
}

TEST_F(FilterPanel, HostilePatternDeletesOnlyTheRowsHoldingIt)
{
    NEED_DB();
    const char* hostile = "x' or 'a'='a";
    store_one(R, 1, "u", std::string("say ") + hostile, 1);
    store_one(R, 1, "u", "x", 2);
    store_one(R, 1, "u", "a", 3);
    store_one(R, 1, "u", hostile, 4);
    sql_to_tree();
    gtk_tree_view_expand_all(GTK_TREE_VIEW(treeview));
    set_tree_cursor("0:0");
    type_into(edit3_filter, hostile);
    click(button1_filter);
    EXPECT_EQ(count_label(), "筛选总数:2");
    EXPECT_EQ(list_column(LIST_COL_ID), (std::vector<unsigned> {4, 1}));
    delete_answering({GTK_RESPONSE_OK});
    EXPECT_EQ(table_rows(), 2);
    EXPECT_EQ(get_sql_counter("select * from LogTab where id_inc in (2, 3)"), 2);
}

TEST_F(FilterPanel, RefusedPatternSaysSoAndDeletesNothing)
{
    NEED_DB();
    store_users_and_select();
    click(button1_filter);
    ASSERT_EQ(count_label(), "筛选总数:50");
    type_into(edit3_filter, "a(");
    click(button1_filter);
    EXPECT_EQ(count_label(), "筛选总数:筛选条件未被接受");
    EXPECT_TRUE(list_column(LIST_COL_NUMBER).empty());
    EXPECT_FALSE(sensitive(button2_list));
    EXPECT_FALSE(sensitive(button2_filter));
    EXPECT_FALSE(sensitive(button3_filter));

    EXPECT_TRUE(delete_answering({GTK_RESPONSE_OK}).empty()) << "nothing to delete: no question";
    EXPECT_EQ(table_rows(), 60);

    language_nu = 2;
    click(button1_filter);
    EXPECT_EQ(count_label(), "篩選總數:篩選條件未被接受");
}

TEST_F(FilterPanel, StatementStoppedAtTheTimeLimitHasItsOwnText)
{
    NEED_DB();
    store_rows(2, R, 1);
    query_time_limit_s = 0.2;
    sql_cmd_filter = list_statement(R, 1) + " and (sleep(1) = 0)";
    click(button1_filter);
    EXPECT_EQ(count_label(), "筛选总数:查询时间过长,已停止");
    EXPECT_TRUE(list_column(LIST_COL_NUMBER).empty());
    EXPECT_FALSE(sensitive(button2_filter));
    language_nu = 1;
    click(button1_filter);
    EXPECT_EQ(count_label(), "filter nu:the filter took too long");
    EXPECT_EQ(gdk_window_get_cursor(gtk_widget_get_window(win)), nullptr);
}

TEST_F(FilterPanel, FailedDeletionIsReportedAndTheListStays)
{
    NEED_DB();
    store_users_and_select();
    type_into(edit1_filter, "guest");
    click(button1_filter);
    ASSERT_EQ(count_label(), "筛选总数:10");
    ASSERT_EQ(exe_sql("lock tables LogTab read"), 0);  // the deletion is refused
    const texts shown = delete_answering({GTK_RESPONSE_OK, GTK_RESPONSE_OK});
    ASSERT_EQ(exe_sql("unlock tables"), 0);
    EXPECT_EQ(shown, (texts {"确认删除筛选出的 10 条记录吗", "删除筛选内容失败,记录未删除"}));
    EXPECT_EQ(list_column(LIST_COL_NUMBER), range(1, 10));
    EXPECT_EQ(table_rows(), 60);
    EXPECT_TRUE(sensitive(button2_filter));
}

TEST_F(FilterPanel, MovingTheTreeCursorForgetsTheFilterResult)
{
    NEED_DB();
    store_users_and_select();
    click(button1_filter);
    ASSERT_TRUE(sensitive(button2_filter));
    set_tree_cursor("0");
    EXPECT_FALSE(sensitive(button2_filter));
    EXPECT_FALSE(sensitive(button3_filter));
    EXPECT_TRUE(delete_answering({GTK_RESPONSE_OK}).empty()) << "nothing to delete: no question";
    EXPECT_EQ(table_rows(), 60);
}

TEST_F(FilterPanel, PickerBoundsNarrowTheListAndStartAfterEndGivesNothing)
{
    NEED_DB();
    const unsigned noon = stored_seconds_of_local(2024, 2, 10, 12, 0, 0);
    for (unsigned i = 0; i < 3; ++i)
        store_one(R, 1, "u", "c", noon - 86400 + i * 86400);  // the 9th, 10th and 11th at noon
    sql_to_list(R, 1);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(calendar_start_data.check), TRUE);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(calendar_end_data.check), TRUE);
    set_date(calendar_start_data, 2024, 2, 10);
    set_date(calendar_end_data, 2024, 2, 9);
    click(button1_filter);
    EXPECT_EQ(count_label(), "筛选总数:0");
    EXPECT_TRUE(list_column(LIST_COL_NUMBER).empty());

    set_date(calendar_end_data, 2024, 2, 11);
    click(button1_filter);
    EXPECT_EQ(count_label(), "筛选总数:1");
    EXPECT_EQ(list_column(LIST_COL_ID), (std::vector<unsigned> {2}));
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(calendar_end_data.check), FALSE);
    click(button1_filter);
    EXPECT_EQ(count_label(), "筛选总数:2");
}

TEST_F(FilterPanel, PickersStartAtTheLocalTimeOfDayAndToday)
{
    const std::time_t before = std::time(nullptr);
    init_filter_wnd();
    const std::time_t after = std::time(nullptr);
    std::tm a {}, b {};
    localtime_r(&before, &a);
    localtime_r(&after, &b);
    for (CalendarData* d : {&calendar_start_data, &calendar_end_data}) {
        const int hour = gtk_combo_box_get_active(GTK_COMBO_BOX(d->hour));
        const int minute = gtk_combo_box_get_active(GTK_COMBO_BOX(d->minute));
        EXPECT_TRUE((hour == a.tm_hour && minute == a.tm_min) ||
                    (hour == b.tm_hour && minute == b.tm_min));
        guint year = 0, month = 0, day = 0;
        gtk_calendar_get_date(GTK_CALENDAR(d->window), &year, &month, &day);
        EXPECT_EQ(static_cast<int>(day), b.tm_mday);
        EXPECT_EQ(gtk_label_get_text(GTK_LABEL(d->date_label)),
                  local_date_text(int(year), int(month), int(day)));
        EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(d->check)));
    }

    set_date(calendar_start_data, 2024, 2, 10);
    const guint midnight = get_time_cal_start();
    gtk_combo_box_set_active(GTK_COMBO_BOX(calendar_start_data.hour), 23);
    gtk_combo_box_set_active(GTK_COMBO_BOX(calendar_start_data.minute), 59);
    gtk_combo_box_set_active(GTK_COMBO_BOX(calendar_start_data.second), 59);
    EXPECT_EQ(get_time_cal_start(), midnight + 86399);
    EXPECT_EQ(midnight, stored_seconds_of_local(2024, 2, 10, 0, 0, 0));
}

// A count shown before the switch must not stay under the new caption.
TEST_F(FilterPanel, LanguageSwitchRelabelsAndLeavesTheCountLabelItsCaption)
{
    const std::pair<void (*)(GtkWidget*, gpointer), texts> steps[] = {
        {change_englist, {"filter num:", "select end time"}},
        {change_fanti, {"篩選總數:", "結束時間選擇"}},
        {change_chinese, {"筛选总数:", "结束时间选择"}},
    };
    for (const auto& [change, want] : steps) {
        show_filter_num(40);
        change(nullptr, nullptr);
        EXPECT_EQ((texts {count_label(), frame_label(calendar_end_data.frame)}), want);
    }
}

TEST_F(FilterPanel, ListButtonShowsAndHidesThePanel)
{
    ASSERT_TRUE(gtk_widget_get_mapped(vbox_top_filter));
    click(button3_list);
    EXPECT_FALSE(gtk_widget_get_mapped(vbox_top_filter));
    click(button3_list);
    EXPECT_TRUE(gtk_widget_get_mapped(vbox_top_filter));
}

TEST_F(FilterPanel, DeletionStoppedAtItsTimeLimitSaysSoAndDeletesNothing)
{
    NEED_DB();
    store_rows(2, R, 1);
    // Each row takes 0.3 s to look at: counted within 30 s, deleted not
    // within 0.2 s.
    sql_cmd_filter = list_statement(R, 1) + " and (sleep(0.3) = 0)";
    click(button1_filter);
    ASSERT_EQ(count_label(), "筛选总数:2");
    delete_time_limit_s = 0.2;
    language_nu = 1;
    const texts shown = delete_answering({GTK_RESPONSE_OK, GTK_RESPONSE_OK});
    delete_time_limit_s = 300;
    EXPECT_EQ(shown,
              (texts {"Delete the 2 filtered records?",
                      "Deleting the filtered records took too long and was stopped; "
                      "nothing was deleted."}));
    EXPECT_EQ(table_rows(), 2);
    EXPECT_TRUE(sensitive(button2_filter));
}

TEST_F(FilterPanel, PageStoppedAtTheTimeLimitIsReportedNotShownEmpty)
{
    NEED_DB();
    store_rows(2, R, 1);
    sql_cmd_store_1 = list_statement(R, 1) + " and (sleep(1) = 0)";
    query_time_limit_s = 0.2;
    language_nu = 1;  // reported in the current language
    for (auto page : {button_next_page, button_pre_page}) {
        dialog_script ok {{GTK_RESPONSE_OK}, {}};
        script_dialogs(ok);
        page(nullptr, nullptr);
        EXPECT_EQ(ok.shown,
                  texts {"Reading the records took more than 0.2 s; the query was stopped."});
        EXPECT_TRUE(list_column(LIST_COL_NUMBER).empty());
    }
}
