#include "gui/main_window.h"

GtkWidget* window = nullptr;
GtkWidget* vbox_1 = nullptr;
GtkWidget* vpaned_1 = nullptr;
GtkWidget* hpaned_1 = nullptr;
GtkWidget* vpaned_2 = nullptr;
GtkWidget* vbox_3 = nullptr;
GtkWidget* vbox_change_email = nullptr;
GtkWidget* vpaned_3 = nullptr;
GtkWidget* vbox_2 = nullptr;
GtkWidget* hpaned_2_box = nullptr;
GtkWidget* viewport = nullptr;
