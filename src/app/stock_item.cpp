#include "app/stock_item.h"

#include "app/main.h"
#include "base/other_func.h"

#include <cstring>
#include <string>

GtkWidget* image_16 = nullptr;
GtkWidget* image_left = nullptr;
GtkWidget* image_right = nullptr;
GtkWidget* image_filter2 = nullptr;

namespace {

struct stock_def {
    const char* id;
    const char* label;
    const char* file;
};

// Every id with its first label and its picture in the working directory.
constexpr stock_def stock_defs[STOCK_ITEM_COUNT] = {
    {"my_stock_sample1", "风格 1", "d1.png"},
    {"my_stock_sample2", "中文", "d2.png"},
    {"my_stock_sample3", "english", "d3.png"},
    {"my_stock_sample4", "打开关闭工具栏", "d4.png"},
    {"my_stock_sample5", "打开关闭工具栏", "d5.png"},
    {"my_stock_sample6", "打开关闭工具栏", "d6.png"},
    {"my_stock_sample7", "工具栏", "d7.png"},
    {"my_stock_sample8", "界面风格", "d8.png"},
    {"my_stock_sample9", "多语言切换", "d9.png"},
    {"my_stock_sample10", "版本信息", "setting.png"},
    {"my_stock_sample11", "启动服务", "d11.png"},
    {"my_stock_sample12", "停止服务", "d12.png"},
    {"my_stock_sample14", "前一页", "d14.png"},
    {"my_stock_sample15", "后一页", "d15.png"},
    {"my_stock_sample16", "向上", "d16.png"},
    {"my_stock_sample17", "隐藏", "d17.png"},
    {"my_stock_sample18", "保存", "d18.png"},
    {"my_stock_sample19", "繁體", "d19.png"},
    {"my_stock_fg1", "风格1", "fg1.png"},
    {"my_stock_fg2", "风格2", "fg2.png"},
    {"my_stock_fg3", "风格3", "fg3.png"},
    {"my_stock_fg4", "风格4", "fg4.png"},
    {"my_stock_fg5", "风格5", "fg5.png"},
    {"my_stock_fg6", "风格6", "fg6.png"},
    {"my_stock_lan_chinese", "中文", "lan_chinese.png"},
    {"my_stock_lan_chinese_y", "中文", "lan_chinese_y.png"},
    {"my_stock_lan_en", "english", "lan_en.png"},
    {"my_stock_lan_en_y", "english", "lan_en_y.png"},
    {"my_stock_lan_fanti", "繁體", "lan_fanti.png"},
    {"my_stock_lan_fanti_y", "繁體", "lan_fanti_y.png"},
    {"my_stock_shut", "关闭接收", "shut.png"},
    {"my_stock_open3", "开启接收", "open3.png"},
    {"my_stock_close3", "开启接收", "close3.png"},
    {"my_stock_version", "开启接收", "version.png"},
    {"my_stock_wave", "开启接收", "wave.png"},
    {"my_stock_filter", "过滤", "filter.png"},
    {"my_stock_left", "过滤", "left.png"},
    {"my_stock_right", "过滤", "right.png"},
    {"my_stock_filter2", "过滤", "filter2.png"},
    {"my_stock_tw", "繁體", "tw2.png"},
    {"my_stock_open", "打开接收", "open.png"},
    {"my_stock_setup", "系统设置", "xtsz.png"},
    {"my_stock_open4", "开启接收", "kqjs.png"},
    {"my_stock_close4", "关闭接收", "gbjs.png"},
    {"my_stock_setup3", "关闭接收", "setup3.png"},
    {"my_stock_exit", "退出程序", "exit.png"},
};

// GTK keeps pointers into the items it is given, so they live here.
GtkStockItem stock_items[STOCK_ITEM_COUNT];

constexpr int ICON_SIZE = 24;

std::string in_working_dir(const char* file) { return std::string(GetExeDir()) + "/" + file; }

// The picture of a stock item; a fully transparent one when its file is
// missing or unreadable, so the item shows no picture rather than GTK's
// missing-image sign.
GdkPixbuf* load_icon(const char* file)
{
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(in_working_dir(file).c_str(), nullptr);
    if (pixbuf)
        return pixbuf;
    pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, ICON_SIZE, ICON_SIZE);
    gdk_pixbuf_fill(pixbuf, 0);
    return pixbuf;
}

void register_items()
{
    for (int i = 0; i < STOCK_ITEM_COUNT; ++i) {
        stock_items[i].stock_id = const_cast<gchar*>(stock_defs[i].id);
        stock_items[i].label = const_cast<gchar*>(stock_defs[i].label);
        stock_items[i].modifier = static_cast<GdkModifierType>(0);
        stock_items[i].keyval = 0;
        stock_items[i].translation_domain = const_cast<gchar*>(STOCK_DOMAIN);
    }
    gtk_stock_add_static(stock_items, STOCK_ITEM_COUNT);
}

void add_icons()
{
    GtkIconFactory* factory = gtk_icon_factory_new();
    gtk_icon_factory_add_default(factory);
    for (const stock_def& def : stock_defs) {
        GdkPixbuf* pixbuf = load_icon(def.file);
        GtkIconSet* set = gtk_icon_set_new_from_pixbuf(pixbuf);
        gtk_icon_factory_add(factory, def.id, set);
        gtk_icon_set_unref(set);
        g_object_unref(pixbuf);
    }
    // The default list holds its own reference.
    g_object_unref(factory);
}

GtkWidget* held_image(const char* stock_id)
{
    GtkWidget* image = gtk_image_new_from_stock(stock_id, GTK_ICON_SIZE_LARGE_TOOLBAR);
    g_object_ref_sink(image);
    return image;
}

void make_images()
{
    image_16 = held_image("my_stock_sample16");
    g_object_set_data(G_OBJECT(image_16), "id", const_cast<char*>("Yes"));
    image_left = held_image("my_stock_left");
    image_right = held_image("my_stock_right");
    image_filter2 = held_image("my_stock_filter2");
}

}  // namespace

const char* stock_icon_file(const char* stock_id)
{
    for (const stock_def& def : stock_defs)
        if (stock_id && std::strcmp(def.id, stock_id) == 0)
            return def.file;
    return nullptr;
}

void init_stocks()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    register_items();
    add_icons();
    make_images();
}

void set_icon()
{
    if (!window)
        return;
    GdkPixbuf* icon = gdk_pixbuf_new_from_file(in_working_dir("logo2.png").c_str(), nullptr);
    if (!icon)
        return;
    gtk_window_set_icon(GTK_WINDOW(window), icon);
    g_object_unref(icon);
}
