// The program's own stock items: ids, first labels and icons, the stock
// images other windows take, and the window icon.
#pragma once

#include <gtk/gtk.h>

// Translation domain of every stock label.
inline constexpr const char* STOCK_DOMAIN = "my-sample-stock-app";

// Number of stock items registered by init_stocks.
inline constexpr int STOCK_ITEM_COUNT = 46;

// Stock images made once by init_stocks, at the large-toolbar size. The
// program holds a reference to each, so they live until someone packs them.
extern GtkWidget* image_16;       // "my_stock_sample16", object data "id" = "Yes"
extern GtkWidget* image_left;     // "my_stock_left"
extern GtkWidget* image_right;    // "my_stock_right"
extern GtkWidget* image_filter2;  // "my_stock_filter2"

// Registers the stock items, adds an icon factory with their pictures from
// the working directory (a missing file gives an empty picture) and makes the
// stock images. A second call changes nothing.
void init_stocks();

// Sets the main window's icon from "logo2.png"; a missing file is ignored.
void set_icon();

// Icon file of a stock id, or nullptr for an id that is not ours.
const char* stock_icon_file(const char* stock_id);
