// The filter's count label, in its own box under the device tree.
#pragma once

#include "filter/filter_query.h"

#include <gtk/gtk.h>

extern GtkWidget* hbox_top_filter_num;
extern GtkWidget* label_filter_num;

// Builds the box and the label with its caption.
void init_show_num();

// Shows the number of matches after the caption, in the interface language.
void show_filter_num(long long count);
// Shows, in the interface language, why the filter gave no number.
void show_filter_failure(filter_failure why);

// Reset the label to its caption alone.
void change_chinese_filter_num();
void change_en_filter_num();
void change_fanti_filter_num();
