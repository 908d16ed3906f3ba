#include "base/language.h"
#include "app/language_switch.h"
#include "app/main.h"
#include "app/menus.h"
#include "app/menus_2.h"
#include "gui/message_box.h"
#include "app/stock_item.h"
#include "app/toolbar.h"
#include "app/version.h"
#include "browse/button_wnd_list.h"
#include "browse/list_data.h"
#include "browse/tree2.h"
#include "disk/disk_info.h"
#include "receive/udp_proc.h"
#include "support/gui_support.h"
#include "support/scratch_dir.h"
#include "support/startup_child.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using texts = std::vector<std::string>;

// ---- what the window must read, per language (0, 1, 2) ----

const texts menu_texts[3] = {
    {"系统", "系统设置", "打开接收", "关闭接收", "退出程序", "界面风格", "风格1", "风格2", "风格3",
     "风格4", "风格5", "风格6", "多语言切换", "中文", "english", "繁體", "工具栏", "打开关闭工具栏",
     "版本信息", "版本信息"},
    {"system", "system setup", "open recieve", "close recieve", "exit", "style", "style1",
     "style2", "style3", "style4", "style5", "style6", "language", "中文", "english", "繁體",
     "toolbar", "open or close toolbar", "version", "version"},
    {"系統", "系統設置", "打開接收", "關閉接收", "退出程序", "介面風格", "風格1", "風格2", "風格3",
     "風格4", "風格5", "風格6", "多語言切換", "中文", "english", "繁體", "工具欄", "打開關閉工具欄",
     "版本信息", "版本信息"},
};

const texts tool_texts[3] = {
    {"系统设置", "开启接收", "关闭接收", "版本信息"},
    {"system set", "open receve", "stop receve", "version"},
    {"系統設置", "開啟接收", "關閉接收", "版本信息"},
};

// Title and visibility of every view column, "title" or "title (hidden)".
const texts tree_columns[3] = {
    {"日志服务器", "类型", "type (hidden)", "類型 (hidden)", "数量"},
    {"router", "类型 (hidden)", "type", "類型 (hidden)", "counter"},
    {"日誌服務器", "类型 (hidden)", "type (hidden)", "類型", "數量"},
};

const texts list_columns[3] = {
    {"序号", "日志类型", "type (hidden)", "日誌類型 (hidden)", "日志用户", "记录内容",
     "log msg (hidden)", "記錄類容 (hidden)", "记录时间", "源ip", "路由器ip", "备注"},
    {"Number", "日志类型 (hidden)", "type", "日誌類型 (hidden)", "user", "记录内容 (hidden)",
     "log msg", "記錄類容 (hidden)", "log time", "source ip", "router ip", "comment"},
    {"序號", "日志类型 (hidden)", "type (hidden)", "日誌類型", "日誌用戶", "记录内容 (hidden)",
     "log msg (hidden)", "記錄類容", "記錄時間", "源ip", "路由器ip", "備註"},
};

const texts list_buttons[3] = {
    {"前一页", "后一页", "全选", "反选", "删除", "隐藏"},
    {"pre", "next", "select all", "reverse selcet", "delete", "hide"},
    {"前一頁", "后一頁", "全選", "反選", "刪除", "隱藏"},
};

const texts disk_captions[3] = {
    {"磁盘余量:", "状态:"},
    {"disk free:", "state:"},
    {"磁盤餘量:", "狀態:"},
};

const char* const window_titles[3] = {"日志服务器", "syslog", "日誌服務器"};

// ---- reading the window ----

void collect_menu(GtkWidget* shell, texts& out)
{
    GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
    for (GList* l = children; l; l = l->next) {
        GtkWidget* item = GTK_WIDGET(l->data);
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(item));
        if (child && GTK_IS_LABEL(child))
            out.emplace_back(gtk_label_get_text(GTK_LABEL(child)));
        if (GtkWidget* sub = gtk_menu_item_get_submenu(GTK_MENU_ITEM(item)))
            collect_menu(sub, out);
    }
    g_list_free(children);
}

texts menu_labels()
{
    texts out;
    collect_menu(menubar, out);
    return out;
}

// The menu item at a top-level index and a sub-menu index.
GtkWidget* menu_item(int top, int sub)
{
    GList* tops = gtk_container_get_children(GTK_CONTAINER(menubar));
    GtkWidget* menu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(g_list_nth_data(tops, top)));
    g_list_free(tops);
    GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
    auto* item = GTK_WIDGET(g_list_nth_data(items, sub));
    g_list_free(items);
    return item;
}

void activate(int top, int sub) { gtk_menu_item_activate(GTK_MENU_ITEM(menu_item(top, sub))); }

texts tool_labels()
{
    texts out;
    for (int pos = 0; pos < gtk_toolbar_get_n_items(GTK_TOOLBAR(toolbar)); ++pos)
        out.emplace_back(gtk_tool_button_get_label(GTK_TOOL_BUTTON(toolbar_item(pos))));
    return out;
}

texts column_titles(GtkWidget* view)
{
    texts out;
    GList* columns = gtk_tree_view_get_columns(GTK_TREE_VIEW(view));
    for (GList* l = columns; l; l = l->next) {
        auto* column = GTK_TREE_VIEW_COLUMN(l->data);
        std::string title = gtk_tree_view_column_get_title(column);
        out.push_back(gtk_tree_view_column_get_visible(column) ? title : title + " (hidden)");
    }
    g_list_free(columns);
    return out;
}

texts caption_labels()
{
    return {gtk_label_get_text(GTK_LABEL(label_1_disk)), gtk_label_get_text(GTK_LABEL(label_4_disk))};
}

// Everything the language switch relabels, plus every label in the window.
struct snapshot {
    texts menu, tools, tree, list, buttons, captions, all_labels;
    std::string title;
    bool operator==(const snapshot&) const = default;
};

snapshot take_snapshot()
{
    return {menu_labels(),          tool_labels(),
            column_titles(treeview), column_titles(treeview_list),
            label_texts(hbox_button_list), caption_labels(),
            label_texts(window),     gtk_window_get_title(GTK_WINDOW(window))};
}

void expect_language(unsigned lang)
{
    SCOPED_TRACE("language " + std::to_string(lang));
    snapshot s = take_snapshot();
    EXPECT_EQ(s.menu, menu_texts[lang]);
    EXPECT_EQ(s.tools, tool_texts[lang]);
    EXPECT_EQ(s.tree, tree_columns[lang]);
    EXPECT_EQ(s.list, list_columns[lang]);
    EXPECT_EQ(s.buttons, list_buttons[lang]);
    EXPECT_EQ(s.captions, disk_captions[lang]);
    EXPECT_EQ(s.title, window_titles[lang]);
    EXPECT_EQ(language_nu, lang);
}

std::optional<std::uint64_t> plenty_of_space() { return 50000ull * 1024; }

// The main window with every part that is relabelled, built as start-up
// builds it, in a scratch directory.
class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensure_gtk();
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window), "日志服务器");
        vbox_1 = gtk_vbox_new(FALSE, 0);
        init_stocks();
        CreateMenus();
        CreateMenus_2();
        init_tree_2();
        init_button_wnd_list();
        InitTreeView();
        init_toolbar();
        disk_free_reader = plenty_of_space;
        init_disk_info_show();
        for (GtkWidget* w : {menubar, menubar_2, toolbar, scrolled_win, scrolled_TreeView,
                             hbox_button_list, vbox_disk})
            gtk_box_pack_start(GTK_BOX(vbox_1), w, TRUE, TRUE, 0);
        gtk_container_add(GTK_CONTAINER(window), vbox_1);
        gtk_widget_show_all(window);
        pump_events();
    }
    void TearDown() override
    {
        stop_scripting_dialogs();
        gtk_widget_destroy(window);
        window = nullptr;
    }
    scratch_dir dir;
};

}  // namespace

TEST_F(MainWindow, StartsInSimplifiedChineseWithTheTableLabels)
{
    expect_language(0);
    gchar* tip = gtk_widget_get_tooltip_text(gtk_bin_get_child(GTK_BIN(toolbar_item(TOOL_SETUP))));
    EXPECT_STREQ(tip, "ok");
    g_free(tip);
}

TEST_F(MainWindow, EachLanguageReadsAsTheTablesAndAgainChangesNothing)
{
    const struct {
        void (*change)(GtkWidget*, gpointer);
        unsigned lang;
    } switches[] = {{change_englist, 1}, {change_fanti, 2}, {change_chinese, 0}, {change_fanti, 2}};
    for (const auto& s : switches) {
        s.change(nullptr, nullptr);
        expect_language(s.lang);
        snapshot once = take_snapshot();
        s.change(nullptr, nullptr);
        EXPECT_EQ(take_snapshot(), once) << "language " << s.lang << " chosen twice";
    }
}

TEST_F(MainWindow, LanguageItemsOfTheMenuSwitch)
{
    activate(2, 1);
    expect_language(1);
    activate(2, 2);
    expect_language(2);
    activate(2, 0);
    expect_language(0);
}

TEST_F(MainWindow, EveryItemStartsSensitiveButTheOpenTool)
{
    GList* tops = gtk_container_get_children(GTK_CONTAINER(menubar));
    for (GList* t = tops; t; t = t->next) {
        EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(t->data)));
        GList* items = gtk_container_get_children(
            GTK_CONTAINER(gtk_menu_item_get_submenu(GTK_MENU_ITEM(t->data))));
        for (GList* l = items; l; l = l->next)
            EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(l->data)));
        g_list_free(items);
    }
    g_list_free(tops);
    EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(toolbar_item(TOOL_SETUP))));
    EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(toolbar_item(TOOL_OPEN_RECV))));
    EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(toolbar_item(TOOL_CLOSE_RECV))));
    EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(toolbar_item(TOOL_VERSION))));
}

TEST_F(MainWindow, ToolbarToggleHidesThenShows)
{
    ASSERT_TRUE(gtk_widget_get_visible(toolbar));
    activate(3, 0);
    EXPECT_FALSE(gtk_widget_get_visible(toolbar));
    activate(3, 0);
    EXPECT_TRUE(gtk_widget_get_visible(toolbar));
    open_close_toolbar(nullptr, nullptr);
    EXPECT_FALSE(gtk_widget_get_visible(toolbar));
}

TEST_F(MainWindow, ReceptionTogglesFromMenuAndToolbar)
{
    auto sensitive = [](int pos) { return gtk_widget_get_sensitive(GTK_WIDGET(toolbar_item(pos))); };
    ASSERT_EQ(b_recv, 1);

    // Opening while open: nothing visible changes.
    activate(0, 1);
    EXPECT_EQ(b_recv, 1);
    EXPECT_FALSE(sensitive(TOOL_OPEN_RECV));
    EXPECT_TRUE(sensitive(TOOL_CLOSE_RECV));

    activate(0, 2);
    EXPECT_EQ(b_recv, 0);
    EXPECT_TRUE(sensitive(TOOL_OPEN_RECV));
    EXPECT_FALSE(sensitive(TOOL_CLOSE_RECV));
    // The menu items keep their sensitivity.
    EXPECT_TRUE(gtk_widget_get_sensitive(menu_item(0, 1)));
    EXPECT_TRUE(gtk_widget_get_sensitive(menu_item(0, 2)));

    g_signal_emit_by_name(toolbar_item(TOOL_OPEN_RECV), "clicked");
    EXPECT_EQ(b_recv, 1);
    EXPECT_FALSE(sensitive(TOOL_OPEN_RECV));
    EXPECT_TRUE(sensitive(TOOL_CLOSE_RECV));

    g_signal_emit_by_name(toolbar_item(TOOL_CLOSE_RECV), "clicked");
    EXPECT_EQ(b_recv, 0);
    EXPECT_TRUE(sensitive(TOOL_OPEN_RECV));
}

TEST_F(MainWindow, VersionDialogFollowsTheLanguage)
{
    struct seen {
        std::string title, message;
        texts buttons;
        bool modal = false;
    };
    static std::vector<seen> shown;
    set_dialog_answerer([](GtkDialog* dialog) {
        texts buttons;
        for (int response : {GTK_RESPONSE_OK, GTK_RESPONSE_CANCEL}) {
            GtkWidget* b = gtk_dialog_get_widget_for_response(dialog, response);
            buttons.push_back(b ? gtk_button_get_label(GTK_BUTTON(b)) : "");
        }
        seen s {gtk_window_get_title(GTK_WINDOW(dialog)), dialog_message(dialog), buttons,
                gtk_window_get_modal(GTK_WINDOW(dialog)) != FALSE};
        shown.push_back(s);
        return GTK_RESPONSE_OK;
    });
    activate(4, 0);                                                     // menu, Chinese
    change_englist(nullptr, nullptr);
    g_signal_emit_by_name(toolbar_item(TOOL_VERSION), "clicked");       // toolbar, English
    change_fanti(nullptr, nullptr);
    create_version_wnd();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].message, "版本号:v1.0");
    EXPECT_EQ(shown[1].message, "version:v1.0");
    EXPECT_EQ(shown[2].message, "版本號:v1.0");
    for (const seen& s : shown) {
        EXPECT_EQ(s.title, "version");
        EXPECT_EQ(s.buttons, (texts {"Ok", "Cancel"}));
        EXPECT_TRUE(s.modal);
    }
}

TEST_F(MainWindow, ExitItemAsksTheQuitQuestion)
{
    dialog_script script {{GTK_RESPONSE_CANCEL}, {}};
    script_dialogs(script);
    activate(0, 3);
    change_englist(nullptr, nullptr);
    activate(0, 3);
    EXPECT_EQ(script.shown, (texts {"真的要退出吗", "Are You realy want to bye?"}));
}

// ---- stock items and their pictures ----

namespace {

struct stock_expect {
    std::string id, label, file;
};

// The 46 items: id, first label and picture file.
std::vector<stock_expect> expected_stocks()
{
    std::vector<stock_expect> out;
    const char* const sample_labels[20] = {
        nullptr,  "风格 1",   "中文",   "english", "打开关闭工具栏", "打开关闭工具栏", "打开关闭工具栏",
        "工具栏", "界面风格", "多语言切换", "版本信息", "启动服务", "停止服务", nullptr,
        "前一页", "后一页",   "向上",   "隐藏",    "保存",   "繁體"};
    for (int n = 1; n <= 19; ++n) {
        if (n == 13)
            continue;
        std::string file = n == 10 ? "setting.png" : "d" + std::to_string(n) + ".png";
        out.push_back({"my_stock_sample" + std::to_string(n), sample_labels[n], file});
    }
    for (int n = 1; n <= 6; ++n)
        out.push_back({"my_stock_fg" + std::to_string(n), "风格" + std::to_string(n),
                       "fg" + std::to_string(n) + ".png"});
    const std::pair<const char*, const char*> named[] = {
        {"lan_chinese", "中文"}, {"lan_chinese_y", "中文"}, {"lan_en", "english"},
        {"lan_en_y", "english"}, {"lan_fanti", "繁體"},     {"lan_fanti_y", "繁體"},
        {"shut", "关闭接收"},    {"open3", "开启接收"},     {"close3", "开启接收"},
        {"version", "开启接收"}, {"wave", "开启接收"},      {"filter", "过滤"},
        {"left", "过滤"},        {"right", "过滤"},         {"filter2", "过滤"},
        {"tw", "繁體"},          {"open", "打开接收"},      {"setup", "系统设置"},
        {"open4", "开启接收"},   {"close4", "关闭接收"},    {"setup3", "关闭接收"},
        {"exit", "退出程序"},
    };
    const std::pair<std::string, std::string> renamed[] = {
        {"tw", "tw2"}, {"setup", "xtsz"}, {"open4", "kqjs"}, {"close4", "gbjs"}};
    for (const auto& [name, label] : named) {
        std::string file = name;
        for (const auto& [from, to] : renamed)
            if (file == from)
                file = to;
        out.push_back({std::string("my_stock_") + name, label, file + ".png"});
    }
    return out;
}

// A stock picture as the toolbar shows it.
GdkPixbuf* render(const char* stock_id)
{
    static GtkWidget* holder = gtk_image_new();
    return gtk_widget_render_icon(holder, stock_id, GTK_ICON_SIZE_LARGE_TOOLBAR, nullptr);
}

int opaque_pixels(GdkPixbuf* p)
{
    if (!gdk_pixbuf_get_has_alpha(p))
        return gdk_pixbuf_get_width(p) * gdk_pixbuf_get_height(p);
    int count = 0;
    const guchar* px = gdk_pixbuf_get_pixels(p);
    for (int y = 0; y < gdk_pixbuf_get_height(p); ++y)
        for (int x = 0; x < gdk_pixbuf_get_width(p); ++x)
            count += px[y * gdk_pixbuf_get_rowstride(p) + x * 4 + 3] > 0;
    return count;
}

bool same_pixels(GdkPixbuf* a, GdkPixbuf* b)
{
    int w = gdk_pixbuf_get_width(a), h = gdk_pixbuf_get_height(a);
    if (w != gdk_pixbuf_get_width(b) || h != gdk_pixbuf_get_height(b)
        || gdk_pixbuf_get_n_channels(a) != gdk_pixbuf_get_n_channels(b))
        return false;
    int row = w * gdk_pixbuf_get_n_channels(a);
    for (int y = 0; y < h; ++y)
        if (std::memcmp(gdk_pixbuf_get_pixels(a) + y * gdk_pixbuf_get_rowstride(a),
                        gdk_pixbuf_get_pixels(b) + y * gdk_pixbuf_get_rowstride(b), row) != 0)
            return false;
    return true;
}

// Runs a test body with the run directory as working directory.
struct in_run_dir {
    in_run_dir() : old(std::filesystem::current_path()) { std::filesystem::current_path(RUN_DIR); }
    ~in_run_dir() { std::filesystem::current_path(old); }
    std::filesystem::path old;
};

}  // namespace

TEST(StockItems, FortySixItemsWithTheirLabelsAndDomain)
{
    ensure_gtk();
    init_stocks();
    auto expected = expected_stocks();
    ASSERT_EQ(expected.size(), 46u);
    for (const auto& e : expected) {
        GtkStockItem item;
        ASSERT_TRUE(gtk_stock_lookup(e.id.c_str(), &item)) << e.id;
        EXPECT_EQ(std::string(item.label), e.label) << e.id;
        EXPECT_EQ(item.modifier, 0) << e.id;
        EXPECT_EQ(item.keyval, 0u) << e.id;
        EXPECT_STREQ(item.translation_domain, "my-sample-stock-app") << e.id;
        EXPECT_EQ(stock_icon_file(e.id.c_str()), e.file) << e.id;
    }
    GtkStockItem none;
    EXPECT_FALSE(gtk_stock_lookup("my_stock_sample13", &none));
}

TEST(StockItems, EveryPictureIsInTheRunDirectory)
{
    auto expected = expected_stocks();
    expected.push_back({"", "", "logo2.png"});
    for (const auto& e : expected) {
        std::string path = std::string(RUN_DIR) + "/" + e.file;
        GError* error = nullptr;
        GdkPixbuf* p = gdk_pixbuf_new_from_file(path.c_str(), &error);
        ASSERT_TRUE(p) << path << ": " << (error ? error->message : "");
        int size = e.file == "logo2.png" ? 48 : 24;
        EXPECT_EQ(gdk_pixbuf_get_width(p), size) << e.file;
        EXPECT_EQ(gdk_pixbuf_get_height(p), size) << e.file;
        // A picture, not an empty square.
        EXPECT_GT(opaque_pixels(p), size * size / 8) << e.file;
        g_object_unref(p);
    }
}

TEST(StockItems, PicturesComeFromTheWorkingDirectory)
{
    ensure_gtk();
    in_run_dir here;
    init_stocks();
    GdkPixbuf* missing = render(GTK_STOCK_MISSING_IMAGE);
    for (const auto& e : expected_stocks()) {
        GdkPixbuf* shown = render(e.id.c_str());
        GdkPixbuf* file = gdk_pixbuf_new_from_file(e.file.c_str(), nullptr);
        ASSERT_TRUE(shown && file) << e.id;
        EXPECT_TRUE(same_pixels(shown, file)) << e.id << " does not show " << e.file;
        EXPECT_FALSE(same_pixels(shown, missing)) << e.id;
        g_object_unref(shown);
        g_object_unref(file);
    }
    g_object_unref(missing);

    // The stock images for the other windows.
    struct {
        GtkWidget* image;
        const char* stock_id;
    } images[] = {{image_16, "my_stock_sample16"}, {image_left, "my_stock_left"},
                  {image_right, "my_stock_right"}, {image_filter2, "my_stock_filter2"}};
    for (const auto& i : images) {
        ASSERT_TRUE(i.image && GTK_IS_IMAGE(i.image)) << i.stock_id;
        gchar* id = nullptr;
        GtkIconSize size;
        gtk_image_get_stock(GTK_IMAGE(i.image), &id, &size);
        EXPECT_STREQ(id, i.stock_id);
        EXPECT_EQ(size, GTK_ICON_SIZE_LARGE_TOOLBAR);
    }
    EXPECT_STREQ(static_cast<const char*>(g_object_get_data(G_OBJECT(image_16), "id")), "Yes");

    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    set_icon();
    GdkPixbuf* icon = gtk_window_get_icon(GTK_WINDOW(window));
    ASSERT_TRUE(icon);
    EXPECT_EQ(gdk_pixbuf_get_width(icon), 48);
    gtk_widget_destroy(window);
}

TEST(StockItems, AMissingFileOnlyLosesItsPicture)
{
    ensure_gtk();
    scratch_dir empty;
    init_stocks();
    GtkStockItem item;
    ASSERT_TRUE(gtk_stock_lookup("my_stock_exit", &item));
    GdkPixbuf* shown = render("my_stock_exit");
    ASSERT_TRUE(shown);
    EXPECT_EQ(opaque_pixels(shown), 0) << "no picture, and no missing-image sign";
    g_object_unref(shown);

    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    set_icon();
    EXPECT_EQ(gtk_window_get_icon(GTK_WINDOW(window)), nullptr);
    gtk_widget_destroy(window);
}

// ---- style files ----

namespace {

const char* const STYLE_NAMES[6] = {"gtkrc1", "gtkrc2", "gtkrc3", "gtkrc4", "gtkrc5", "gtkrc6"};

void copy_styles_here()
{
    for (const char* name : STYLE_NAMES)
        write_file(name, read_file(std::string(RUN_DIR) + "/" + name));
}

// Relative luminance contrast of two colours, 1 to 21.
double contrast(const GdkColor& a, const GdkColor& b)
{
    auto lum = [](const GdkColor& c) {
        auto lin = [](guint16 v) {
            double s = v / 65535.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * lin(c.red) + 0.7152 * lin(c.green) + 0.0722 * lin(c.blue);
    };
    double la = lum(a), lb = lum(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

GdkColor colour(const char* spec)
{
    GdkColor c {};
    gdk_color_parse(spec, &c);
    return c;
}

std::string hex(const GdkColor& c)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.red >> 8, c.green >> 8, c.blue >> 8);
    return buf;
}

// Text written to standard error while `f` runs.
template <typename F>
std::string stderr_of(F f)
{
    std::fflush(stderr);
    int saved = dup(2);
    std::FILE* tmp = std::tmpfile();
    dup2(fileno(tmp), 2);
    f();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::rewind(tmp);
    std::string out;
    for (int ch; (ch = std::fgetc(tmp)) != EOF;)
        out += static_cast<char>(ch);
    std::fclose(tmp);
    return out;
}

}  // namespace

TEST(Styles, GtkrcStartsAsAStyleOneCopy)
{
    std::string source = std::string(SOURCE_DIR) + "/data/styles/";
    EXPECT_EQ(read_file(source + "gtkrc"), read_file(source + "gtkrc1"));
    for (const char* name : STYLE_NAMES)
        EXPECT_EQ(read_file(std::string(RUN_DIR) + "/" + name), read_file(source + name)) << name;
}

TEST(Styles, StyleThreeCopiesItselfOverGtkrcAndRestylesAtOnce)
{
    ensure_gtk();
    scratch_dir dir;
    copy_styles_here();
    write_file("gtkrc", read_file("gtkrc1"));
    gtk_rc_parse("gtkrc");
    init_stocks();
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    CreateMenus();
    GtkWidget* button = gtk_button_new_with_label("全选");
    gtk_box_pack_start(GTK_BOX(box), menubar, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), button, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_widget_show_all(window);
    pump_events();

    activate(1, 2);  // style 3, whose buttons are amber
    pump_events();
    EXPECT_EQ(read_file("gtkrc"), read_file("gtkrc3"));
    EXPECT_EQ(hex(gtk_widget_get_style(button)->bg[GTK_STATE_NORMAL]), "#f3dfb6");

    // Style 5 without its file: "gtkrc" stays, the look stays.
    std::filesystem::remove("gtkrc5");
    std::string before = read_file("gtkrc");
    activate(1, 4);
    pump_events();
    EXPECT_EQ(read_file("gtkrc"), before);
    EXPECT_EQ(hex(gtk_widget_get_style(button)->bg[GTK_STATE_NORMAL]), "#f3dfb6");
    gtk_widget_destroy(window);
}

TEST(Styles, SixDistinctLegibleStylesThatParseCleanly)
{
    ensure_gtk();
    scratch_dir dir;
    copy_styles_here();
    gtk_rc_parse("gtkrc");

    // Widgets of the kinds the window shows, on the backgrounds the window
    // paints itself.
    GtkWidget* win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    GtkWidget* button = gtk_button_new_with_label("前一页");
    GtkWidget* label = gtk_label_new("磁盘余量:");
    GtkWidget* view = gtk_tree_view_new();
    gtk_tree_view_append_column(GTK_TREE_VIEW(view),
                                gtk_tree_view_column_new_with_attributes("序号", gtk_cell_renderer_text_new(), nullptr));
    GtkWidget* bar = gtk_menu_bar_new();
    GtkWidget* top = gtk_menu_item_new_with_label("系统");
    GtkWidget* menu = gtk_menu_new();
    GtkWidget* item = gtk_menu_item_new_with_label("系统设置");
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), top);
    for (GtkWidget* w : {bar, button, label, view})
        gtk_box_pack_start(GTK_BOX(box), w, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(win), box);
    gtk_widget_show_all(win);
    gtk_widget_realize(menu);
    gtk_widget_realize(item);

    const GdkColor painted[] = {colour("#d9ebff"), colour("#8ec4ff"), colour("#cde5ff"),
                                colour("#ebf4fa"), colour("#e2eee8")};
    std::vector<std::string> looks;
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE("style " + std::to_string(n));
        std::string errors = stderr_of([n] { switch_style(n); });
        EXPECT_EQ(errors, "");
        pump_events();
        EXPECT_EQ(read_file("gtkrc"), read_file(STYLE_NAMES[n - 1]));

        GtkStyle* b = gtk_widget_get_style(button);
        GtkStyle* l = gtk_widget_get_style(label);
        GtkStyle* v = gtk_widget_get_style(view);
        GtkStyle* m = gtk_widget_get_style(item);
        std::string family = pango_font_description_get_family(l->font_desc);
        double points = pango_font_description_get_size(l->font_desc) / double(PANGO_SCALE);
        EXPECT_EQ(family, "WenQuanYi Zen Hei");
        EXPECT_GE(points, 9);
        EXPECT_LE(points, 12);

        EXPECT_GE(contrast(b->fg[GTK_STATE_NORMAL], b->bg[GTK_STATE_NORMAL]), 7);
        EXPECT_GE(contrast(b->fg[GTK_STATE_PRELIGHT], b->bg[GTK_STATE_PRELIGHT]), 7);
        EXPECT_GE(contrast(b->fg[GTK_STATE_INSENSITIVE], b->bg[GTK_STATE_INSENSITIVE]), 2.5);
        EXPECT_GE(contrast(v->text[GTK_STATE_NORMAL], v->base[GTK_STATE_NORMAL]), 7);
        EXPECT_GE(contrast(v->text[GTK_STATE_SELECTED], v->base[GTK_STATE_SELECTED]), 4.5);
        EXPECT_GE(contrast(v->text[GTK_STATE_ACTIVE], v->base[GTK_STATE_ACTIVE]), 4.5);
        EXPECT_GE(contrast(m->fg[GTK_STATE_PRELIGHT], m->bg[GTK_STATE_PRELIGHT]), 4.5);
        EXPECT_GE(contrast(m->fg[GTK_STATE_NORMAL], gtk_widget_get_style(menu)->bg[GTK_STATE_NORMAL]), 7);
        for (const GdkColor& bg : painted)
            EXPECT_GE(contrast(l->fg[GTK_STATE_NORMAL], bg), 7) << hex(bg);

        looks.push_back(hex(b->bg[GTK_STATE_NORMAL]) + hex(v->base[GTK_STATE_SELECTED]));
    }
    std::sort(looks.begin(), looks.end());
    EXPECT_EQ(std::unique(looks.begin(), looks.end()), looks.end()) << "two styles look alike";
    gtk_widget_destroy(win);
}

// ---- the whole start-up ----

TEST(Startup, MenusToolbarAndSystemLanguageAreInPlace)
{
    if (!std::getenv("LOGSERVER_TEST_DB_PORT"))
        GTEST_SKIP() << "no test database";
    const struct {
        const char* locale;
        unsigned lang;
    } cases[] = {{"zh_CN.UTF-8", 0}, {"en_US.UTF-8", 1}, {"zh_TW.UTF-8", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        setenv("LANG", c.locale, 1);
        static unsigned lang;
        lang = c.lang;
        startup_result r = run_startup_child({}, [] {
            // Each failed check ends the child with its own status.
            auto check = [](bool ok, int status) {
                if (!ok)
                    _exit(status);
            };
            check(language_nu == lang, 10);
            check(gtk_widget_get_parent(menubar) == vbox_1, 11);
            check(gtk_widget_get_parent(toolbar) == vbox_1, 12);
            check(gtk_widget_get_parent(menubar_2) == vbox_1 && !gtk_widget_get_visible(menubar_2), 13);
            check(gtk_widget_get_visible(toolbar), 14);
            check(menu_labels() == menu_texts[lang], 15);
            check(tool_labels() == tool_texts[lang], 16);
            check(std::string(gtk_window_get_title(GTK_WINDOW(window))) == window_titles[lang], 17);
            check(!gtk_widget_get_sensitive(GTK_WIDGET(toolbar_item(TOOL_OPEN_RECV))), 18);
            quit_main();
        });
        EXPECT_EQ(r.exit_status, 0) << "10 language, 11-14 bars, 15 menu, 16 toolbar, 17 title, 18 open tool";
    }
}
