// The start and end date pickers of the filter panel: a check box that puts
// the bound in force, a month calendar, hour, minute and second choices and
// a label with the chosen date.
#pragma once

#include <gtk/gtk.h>

// The widgets of one picker; the calendar's handlers receive it.
struct CalendarData {
    GtkWidget* box = nullptr;     // outer vertical box, packed by the panel
    GtkWidget* check = nullptr;   // puts the bound in force; unticked at first
    GtkWidget* frame = nullptr;   // around the calendar
    GtkWidget* window = nullptr;  // the calendar
    GtkWidget* hour = nullptr;    // text combo boxes; an item's position is its value
    GtkWidget* minute = nullptr;
    GtkWidget* second = nullptr;
    GtkWidget* choices_row = nullptr;
    GtkWidget* unit_label[3] = {};  // "时" "分" "秒"
    GtkWidget* date_label = nullptr;
    GtkWidget* date_row = nullptr;
};

// The two pickers (check1_start, frame1_start, calendar, combo_time1_start
// ... and their _end twins).
extern CalendarData calendar_start_data;
extern CalendarData calendar_end_data;
extern GtkWidget* vbox_calendar;
extern GtkWidget* vbox_calendar_end;

// Build the start and the end picker, the choices at the local time of day
// and the calendar at today.
void create_calendar();
void create_calendar_end();

// Whether the bound is in force.
gboolean get_check_cal_start();
gboolean get_check_cal_end();
// The chosen date and time of day in seconds of the stored clock.
guint get_time_cal_start();
guint get_time_cal_end();

// "day-selected" handler: shows the calendar's date in the picker's label.
void calendar_day_selected(GtkWidget* widget, CalendarData* data);
// The calendar's date in the locale's format, cut to buff_len - 1 bytes.
void calendar_date_to_string(CalendarData* data, char* buffer, gint buff_len);

// The hour, minute and second labels of both pickers (0 simplified, 1
// English, 2 traditional).
void change_language_calendar(unsigned lang);
