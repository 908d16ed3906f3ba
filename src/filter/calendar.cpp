#include "filter/calendar.h"

#include "base/language.h"
#include "filter/picker_time.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

CalendarData calendar_start_data;
CalendarData calendar_end_data;
GtkWidget* vbox_calendar = nullptr;
GtkWidget* vbox_calendar_end = nullptr;

namespace {

const tr3 UNIT_TEXTS[3] = {
    {"时", "hour", "時"},
    {"分", "minute", "分"},
    {"秒", "second", "秒"},
};

void set_bg(GtkWidget* widget, const char* colour)
{
    GdkColor c;
    if (gdk_color_parse(colour, &c))
        gtk_widget_modify_bg(widget, GTK_STATE_NORMAL, &c);
}

// A text combo box listing "0" to last, set to `active`.
GtkWidget* number_choice(unsigned last, int active)
{
    GtkWidget* combo = gtk_combo_box_text_new();
    for (unsigned i = 0; i <= last; ++i) {
        char item[12];
        std::snprintf(item, sizeof item, "%u", i);
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), item);
    }
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), active);
    return combo;
}

void show_date(GtkWidget*, CalendarData* data) { calendar_day_selected(data->window, data); }

void build_picker(CalendarData& d, const char* check_caption, const char* frame_caption)
{
    d = CalendarData {};
    d.box = gtk_vbox_new(FALSE, 0);
    d.check = gtk_check_button_new_with_label(check_caption);
    d.frame = gtk_frame_new(frame_caption);
    set_bg(d.frame, "#87bffd");
    d.window = gtk_calendar_new();
    gtk_calendar_set_display_options(
        GTK_CALENDAR(d.window),
        static_cast<GtkCalendarDisplayOptions>(GTK_CALENDAR_SHOW_HEADING |
                                               GTK_CALENDAR_SHOW_WEEK_NUMBERS));
    gtk_container_add(GTK_CONTAINER(d.frame), d.window);

    // The choices start at the local time of day.
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    d.hour = number_choice(23, local.tm_hour);
    d.minute = number_choice(59, local.tm_min);
    d.second = number_choice(59, std::min(local.tm_sec, 59));
    d.choices_row = gtk_hbox_new(FALSE, 0);
    GtkWidget* choices[3] = {d.hour, d.minute, d.second};
    for (int i = 0; i < 3; ++i) {
        d.unit_label[i] = gtk_label_new(UNIT_TEXTS[i].zh);
        gtk_box_pack_start(GTK_BOX(d.choices_row), choices[i], FALSE, FALSE, 0);
        gtk_box_pack_start(GTK_BOX(d.choices_row), d.unit_label[i], FALSE, FALSE, 0);
    }

    d.date_label = gtk_label_new(nullptr);
    d.date_row = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(d.date_row), d.date_label, FALSE, FALSE, 0);

    gtk_box_pack_start(GTK_BOX(d.box), d.check, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(d.box), d.frame, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(d.box), d.choices_row, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(d.box), d.date_row, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(d.box), gtk_hbutton_box_new(), FALSE, FALSE, 0);

    g_signal_connect(d.window, "day-selected", G_CALLBACK(calendar_day_selected), &d);
    // A new month or year may move the day without a day selection.
    g_signal_connect(d.window, "month-changed", G_CALLBACK(show_date), &d);
    calendar_day_selected(d.window, &d);
}

gboolean checked(const CalendarData& d)
{
    return d.check && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(d.check));
}

int choice(GtkWidget* combo) { return std::max(gtk_combo_box_get_active(GTK_COMBO_BOX(combo)), 0); }

guint stored_time(const CalendarData& d)
{
    if (!d.window)
        return 0;
    guint year = 0, month = 0, day = 0;
    gtk_calendar_get_date(GTK_CALENDAR(d.window), &year, &month, &day);
    return stored_seconds_of_local(static_cast<int>(year), static_cast<int>(month),
                                   static_cast<int>(day), choice(d.hour), choice(d.minute),
                                   choice(d.second));
}

}  // namespace

void create_calendar()
{
    build_picker(calendar_start_data, "是否启用", "起始时间选择");
    vbox_calendar = calendar_start_data.box;
}

void create_calendar_end()
{
    build_picker(calendar_end_data, "是否启用 ", "结束时间选择");
    vbox_calendar_end = calendar_end_data.box;
}

gboolean get_check_cal_start() { return checked(calendar_start_data); }
gboolean get_check_cal_end() { return checked(calendar_end_data); }
guint get_time_cal_start() { return stored_time(calendar_start_data); }
guint get_time_cal_end() { return stored_time(calendar_end_data); }

void calendar_date_to_string(CalendarData* data, char* buffer, gint buff_len)
{
    if (!buffer || buff_len <= 0)
        return;
    buffer[0] = '\0';
    if (!data || !data->window)
        return;
    guint year = 0, month = 0, day = 0;
    gtk_calendar_get_date(GTK_CALENDAR(data->window), &year, &month, &day);
    const std::string text =
        local_date_text(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(buff_len - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

void calendar_day_selected(GtkWidget*, CalendarData* data)
{
    char buffer[242];
    calendar_date_to_string(data, buffer, sizeof buffer);
    // The locale's date text need not be UTF-8.
    gchar* shown = g_locale_to_utf8(buffer, -1, nullptr, nullptr, nullptr);
    gtk_label_set_text(GTK_LABEL(data->date_label), shown ? shown : buffer);
    g_free(shown);
}

void change_language_calendar(unsigned lang)
{
    if (lang > 2)
        return;
    for (CalendarData* d : {&calendar_start_data, &calendar_end_data})
        for (int i = 0; i < 3; ++i)
            if (d->unit_label[i])
                gtk_label_set_text(GTK_LABEL(d->unit_label[i]), tr(UNIT_TEXTS[i], lang));
}
