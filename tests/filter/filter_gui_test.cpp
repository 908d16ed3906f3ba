// The filter panel under the test display: the filter and delete actions
// against the test database, their failures, the pickers and the language
// switch. The statements themselves are filter_statement_test's business.
#include "app/language_switch.h"
#include "browse/set_list_data.h"
#include "filter/calendar.h"
#include "filter/filter_query.h"
#include "filter/filter_wnd_2.h"
#include "filter/picker_time.h"
#include "filter/show_filter_num_wnd.h"
#include "storage/page_set.h"
#include "support/browse_window.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

namespace {

const unsigned R = 0x0101A8C0;      // 192.168.1.1
const unsigned OTHER = 0x0201A8C0;  // 192.168.1.2

using texts = std::vector<std::string>;
using numbers = std::vector<unsigned>;

bool sensitive(GtkWidget* w) { return gtk_widget_get_sensitive(w); }
std::string count_label() { return gtk_label_get_text(GTK_LABEL(label_filter_num)); }
void click(GtkWidget* b) { gtk_button_clicked(GTK_BUTTON(b)); }
void type_into(GtkWidget* entry, const char* text) { gtk_entry_set_text(GTK_ENTRY(entry), text); }
long long rows_of(unsigned ip, unsigned type) { return get_sql_counter(list_statement(ip, type)); }

// Runs the delete action with its boxes answered in turn; what they showed.
texts delete_answering(std::vector<int> answers)
{
    dialog_script script {std::move(answers), {}};
    script_dialogs(script);
    click(button2_filter);
    stop_scripting_dialogs();
    return script.shown;
}

void set_time(CalendarData& d, int day, int hour, int minute, int second)
{
    gtk_calendar_select_month(GTK_CALENDAR(d.window), 1, 2024);
    gtk_calendar_select_day(GTK_CALENDAR(d.window), day);
    gtk_combo_box_set_active(GTK_COMBO_BOX(d.hour), hour);
    gtk_combo_box_set_active(GTK_COMBO_BOX(d.minute), minute);
    gtk_combo_box_set_active(GTK_COMBO_BOX(d.second), second);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(d.check), TRUE);
}

}  // namespace

class FilterPanel : public browse_test {
protected:
    GtkWidget* pane() override
    {
        query_time_limit_s = 30;
        delete_time_limit_s = 300;
        init_filter_wnd();
        init_show_num();
        tree_on_selected([](guint, guint) { filter_node_changed(); });
        // As start-up leaves them.
        gtk_widget_set_sensitive(button2_filter, FALSE);
        gtk_widget_set_sensitive(button3_filter, FALSE);
        under_tree = hbox_top_filter_num;
        return vbox_top_filter;
    }

    // Router R: 50 rows of type 1, every fifth by "guest" (ids 1, 6, 11, ...),
    // the others by "admin"; 5 admin rows of type 4; and 5 admin rows of type
    // 1 of another router. The tree's cursor on R's type 1.
    void store_users_and_select()
    {
        for (unsigned i = 0; i < 50; ++i)
            store_row({R, 1, 0, i % 5 ? "admin" : "guest", "", 1000 + i, "", "", ""});
        for (unsigned i = 0; i < 5; ++i) {
            store_row({R, 4, 0, "admin", "", 1000, "", "", ""});
            store_row({OTHER, 1, 0, "admin", "", 1000, "", "", ""});
        }
        sql_to_tree();
        gtk_tree_view_expand_all(GTK_TREE_VIEW(treeview));
        set_tree_cursor("0:0");
    }
};

// The deletion removes what the last filter counted, though the inputs
// changed since and rows arrived after the count.
TEST_F(FilterPanel, FilterListsAndCountsThenDeleteRemovesWhatWasCounted)
{
    gtk_widget_set_sensitive(button1_list, TRUE);
    gtk_widget_set_sensitive(button2_list, TRUE);
    GtkTreeIter it;
    add_one_row(7, &it);
    click(button1_filter);
    EXPECT_EQ(list_column(LIST_COL_NUMBER), numbers {7});
    EXPECT_TRUE(!sensitive(button1_list) && sensitive(button2_list) && !sensitive(button2_filter));

    store_users_and_select();
    click(button1_filter);
    ASSERT_EQ(count_label(), "筛选总数:50");
    type_into(edit3_filter, "a(");
    click(button1_filter);
    EXPECT_EQ(count_label(), "筛选总数:筛选条件未被接受");
    EXPECT_TRUE(list_column(LIST_COL_NUMBER).empty());
    EXPECT_FALSE(sensitive(button2_list) || sensitive(button2_filter) || sensitive(button3_filter))
        << "a refused pattern forgets the result before it";
    EXPECT_TRUE(delete_answering({GTK_RESPONSE_OK}).empty()) << "nothing to delete: no question";
    type_into(edit3_filter, "");
    click(button1_filter);
    set_tree_cursor("0");
    EXPECT_FALSE(sensitive(button2_filter) || sensitive(button3_filter)) << "cursor moved";
    EXPECT_TRUE(delete_answering({GTK_RESPONSE_OK}).empty()) << "nothing to delete: no question";
    set_tree_cursor("0:0");

    click(button2_list);  // page 2 of the node
    type_into(edit1_filter, "admin");
    language_nu = 1;  // the count follows the language at the time of the action
    click(button1_filter);
    EXPECT_EQ(count_label(), "filter nu:40");
    EXPECT_EQ(list_column(LIST_COL_ID).front(), 50u) << "page 1 again";
    EXPECT_TRUE(sensitive(button2_filter) && sensitive(button3_filter) && !sensitive(button1_list));
    EXPECT_EQ(gdk_window_get_cursor(gtk_widget_get_window(win)), nullptr) << "busy cursor gone";
    click(button2_list);
    EXPECT_EQ(list_column(LIST_COL_ID).back(), 2u) << "page 2 of the filtered rows";
    for (unsigned id : list_column(LIST_COL_ID))
        EXPECT_NE(id % 5, 1u) << id;

    type_into(edit1_filter, "");  // an empty user would mean every record
    EXPECT_EQ(delete_answering({GTK_RESPONSE_CANCEL}), texts {"Delete the 40 filtered records?"});
    EXPECT_EQ(rows_of(R, 1), 50) << "cancelled";
    store_row({R, 1, 0, "admin", "", 1000, "", "", ""});  // id 61
    EXPECT_EQ(delete_answering({GTK_RESPONSE_OK}).size(), 1u);
    EXPECT_EQ(rows_of(R, 1), 11);
    EXPECT_EQ(get_sql_counter("select * from LogTab where id_inc = 61"), 1);
    EXPECT_EQ(rows_of(R, 4) + rows_of(OTHER, 1), 10);
    EXPECT_TRUE(list_column(LIST_COL_NUMBER).empty());
    EXPECT_FALSE(sensitive(button2_list) || sensitive(button2_filter));
    EXPECT_EQ(tree_rows().at(0), "192.168.1.1 16") << "the tree is rebuilt";
}

TEST_F(FilterPanel, FailedDeletionSaysWhyAndTheListStays)
{
    const struct {
        const char* what;
        bool lock;
        const char* condition;
        double limit_s;
        const char* says;
    } cases[] = {
        {"table locked", true, "", 300, "删除筛选内容失败,记录未删除"},
        // Each row takes 0.3 s to look at: counted within 30 s, not deleted within 0.2 s.
        {"time limit", false, " and (sleep(0.3) = 0)", 0.2,
         "删除筛选内容时间过长,已停止,记录未删除"},
    };
    store_rows(2, R, 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sql_cmd_filter = list_statement(R, 1) + c.condition;
        click(button1_filter);
        ASSERT_EQ(count_label(), "筛选总数:2");
        if (c.lock) {
            ASSERT_EQ(exe_sql("lock tables LogTab read"), 0);
        }
        delete_time_limit_s = c.limit_s;
        const texts shown = delete_answering({GTK_RESPONSE_OK, GTK_RESPONSE_OK});
        ASSERT_EQ(exe_sql("unlock tables"), 0);
        EXPECT_EQ(shown, (texts {"确认删除筛选出的 2 条记录吗", c.says}));
        EXPECT_EQ(list_column(LIST_COL_NUMBER), (numbers {1, 2}));
        EXPECT_EQ(table_rows(), 2);
        EXPECT_TRUE(sensitive(button2_filter));
    }
}

// Unticked, at today and the local time of day.
TEST_F(FilterPanel, PickersStartAtTheLocalTimeAndNarrowTheFilter)
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
    const unsigned noon = stored_seconds_of_local(2024, 1, 10, 12, 0, 0);
    for (unsigned i = 0; i < 3; ++i)
        store_row({R, 1, 0, "u", "", noon - 86400 + i * 86400, "", "", ""});  // 9th to 11th
    sql_to_list(R, 1);
    set_time(calendar_start_data, 9, 12, 0, 1);
    set_time(calendar_end_data, 10, 23, 59, 59);
    click(button1_filter);
    EXPECT_EQ(list_column(LIST_COL_ID), numbers {2}) << "the 10th only";
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(calendar_end_data.check), FALSE);
    click(button1_filter);
    EXPECT_EQ(count_label(), "筛选总数:2");
}

// A count shown before the switch must not stay under the new caption.
TEST_F(FilterPanel, LanguageSwitchRelabelsAndLeavesTheCountLabelItsCaption)
{
    show_filter_num(40);
    change_englist(nullptr, nullptr);
    EXPECT_EQ(count_label(), "filter num:");
    EXPECT_STREQ(gtk_frame_get_label(GTK_FRAME(calendar_end_data.frame)), "select end time");
}
