// The main window's menus, toolbar and language switch, the stock pictures,
// the style files, and the start-up in each system language.
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
#include "support/capture.h"
#include "support/gui_support.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using texts = std::vector<std::string>;

void collect_menu(GtkWidget* shell, texts& out)
{
    GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
    for (GList* l = children; l; l = l->next) {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(l->data));
        if (child && GTK_IS_LABEL(child))
            out.emplace_back(gtk_label_get_text(GTK_LABEL(child)));
        if (GtkWidget* sub = gtk_menu_item_get_submenu(GTK_MENU_ITEM(l->data)))
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

// Column titles, and the indices of the visible columns.
texts column_titles(GtkWidget* view)
{
    texts out;
    GList* columns = gtk_tree_view_get_columns(GTK_TREE_VIEW(view));
    for (GList* l = columns; l; l = l->next)
        out.emplace_back(gtk_tree_view_column_get_title(GTK_TREE_VIEW_COLUMN(l->data)));
    g_list_free(columns);
    return out;
}

std::vector<int> visible_columns(GtkWidget* view)
{
    std::vector<int> out;
    GList* columns = gtk_tree_view_get_columns(GTK_TREE_VIEW(view));
    int i = 0;
    for (GList* l = columns; l; l = l->next, ++i)
        if (gtk_tree_view_column_get_visible(GTK_TREE_VIEW_COLUMN(l->data)))
            out.push_back(i);
    g_list_free(columns);
    return out;
}

// Everything the language switch relabels, part by part.
std::array<texts, 7> take_snapshot()
{
    return {
        menu_labels(),
        tool_labels(),
        column_titles(treeview),
        column_titles(treeview_list),
        label_texts(hbox_button_list),
        {gtk_label_get_text(GTK_LABEL(label_1_disk)), gtk_label_get_text(GTK_LABEL(label_4_disk))},
        {gtk_window_get_title(GTK_WINDOW(window))}};
}

// The main window as start-up builds it, in a scratch directory.
class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensure_gtk();
        disk_free_reader = [] { return std::optional<std::uint64_t>(50000ull * 1024); };
        build_main_window();
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

TEST_F(MainWindow, EachLanguageRelabelsEveryPartAndAgainChangesNothing)
{
    std::array<std::array<texts, 7>, 3> seen;
    const auto at_start = take_snapshot();
    const std::pair<void (*)(GtkWidget*, gpointer), unsigned> handlers[] = {
        {change_englist, 1}, {change_fanti, 2}, {change_chinese, 0}};
    for (const auto& [change, lang] : handlers) {
        SCOPED_TRACE("language " + std::to_string(lang));
        activate(2, static_cast<int>(lang));  // the language menu's item
        EXPECT_EQ(language_nu, lang);
        seen[lang] = take_snapshot();
        change(nullptr, nullptr);
        EXPECT_EQ(take_snapshot(), seen[lang]) << "chosen twice";
        // One of the three type columns, and of the three text columns, shows.
        EXPECT_EQ(visible_columns(treeview), (std::vector<int> {0, int(1 + lang), 4}));
        EXPECT_EQ(visible_columns(treeview_list),
                  (std::vector<int> {0, int(1 + lang), 4, int(5 + lang), 8, 9, 10, 11}));
    }
    EXPECT_EQ(at_start, seen[0]) << "the window starts in simplified Chinese";
    for (std::size_t part = 0; part < seen[0].size(); ++part)
        for (auto [a, b] : {std::pair {0, 1}, {0, 2}, {1, 2}})
            EXPECT_NE(seen[a][part], seen[b][part]) << "part " << part << ", " << a << " and " << b;
    EXPECT_EQ(seen[1][0].at(0), "system");
    EXPECT_EQ(seen[2][0].at(0), "系統");
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

TEST_F(MainWindow, ReceptionTogglesFromMenuAndToolbarAndOnlyTheOpenToolIsEverOff)
{
    auto click = [](int pos) {
        return [pos] { g_signal_emit_by_name(toolbar_item(pos), "clicked"); };
    };
    const std::pair<std::function<void()>, int> steps[] = {
        {[] {}, 1},                   // as built
        {[] { activate(0, 1); }, 1},  // opening while open changes nothing
        {[] { activate(0, 2); }, 0},
        {click(TOOL_OPEN_RECV), 1},
        {click(TOOL_CLOSE_RECV), 0},
    };
    for (const auto& [step, open] : steps) {
        step();
        EXPECT_EQ(b_recv, open);
        for (int pos : {TOOL_SETUP, TOOL_OPEN_RECV, TOOL_CLOSE_RECV, TOOL_VERSION})
            EXPECT_EQ(gtk_widget_get_sensitive(GTK_WIDGET(toolbar_item(pos))),
                      pos == TOOL_OPEN_RECV ? !open : pos != TOOL_CLOSE_RECV || open)
                << pos;
        GList* tops = gtk_container_get_children(GTK_CONTAINER(menubar));
        for (GList* t = tops; t; t = t->next) {
            GList* items = gtk_container_get_children(
                GTK_CONTAINER(gtk_menu_item_get_submenu(GTK_MENU_ITEM(t->data))));
            for (GList* l = items; l; l = l->next)
                EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(l->data)));
            g_list_free(items);
        }
        g_list_free(tops);
    }
}

TEST_F(MainWindow, VersionAndQuitQuestionsFollowTheLanguage)
{
    dialog_script script {{GTK_RESPONSE_OK, GTK_RESPONSE_CANCEL, GTK_RESPONSE_OK, GTK_RESPONSE_OK,
                           GTK_RESPONSE_CANCEL},
                          {}};
    script_dialogs(script);
    activate(4, 0);  // version, from the menu
    activate(0, 3);  // quit, cancelled
    change_englist(nullptr, nullptr);
    g_signal_emit_by_name(toolbar_item(TOOL_VERSION), "clicked");
    change_fanti(nullptr, nullptr);
    create_version_wnd();
    change_englist(nullptr, nullptr);
    activate(0, 3);
    EXPECT_EQ(script.shown,
              (texts {"版本号:v1.0", "真的要退出吗", "version:v1.0", "版本號:v1.0",
                      "Are You realy want to bye?"}));
}

// ---- stock items and their pictures ----

namespace {

// The program's own stock ids, as GTK lists them.
texts own_stock_ids()
{
    texts out;
    GSList* ids = gtk_stock_list_ids();
    for (GSList* l = ids; l; l = l->next) {
        std::string id = static_cast<gchar*>(l->data);
        if (id.rfind("my_stock_", 0) == 0)
            out.push_back(id);
        g_free(l->data);
    }
    g_slist_free(ids);
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
    if (w != gdk_pixbuf_get_width(b) || h != gdk_pixbuf_get_height(b) ||
        gdk_pixbuf_get_n_channels(a) != gdk_pixbuf_get_n_channels(b))
        return false;
    int row = w * gdk_pixbuf_get_n_channels(a);
    for (int y = 0; y < h; ++y)
        if (std::memcmp(gdk_pixbuf_get_pixels(a) + y * gdk_pixbuf_get_rowstride(a),
                        gdk_pixbuf_get_pixels(b) + y * gdk_pixbuf_get_rowstride(b), row) != 0)
            return false;
    return true;
}

}  // namespace

TEST(StockItems, EachShowsItsOwnPictureFromTheWorkingDirectory)
{
    ensure_gtk();
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(RUN_DIR);
    init_stocks();
    const texts ids = own_stock_ids();
    EXPECT_EQ(ids.size(), std::size_t(STOCK_ITEM_COUNT));
    for (const auto& id : ids) {
        const char* file = stock_icon_file(id.c_str());
        ASSERT_TRUE(file) << id;
        GdkPixbuf* picture = gdk_pixbuf_new_from_file(file, nullptr);
        GdkPixbuf* shown = render(id.c_str());
        ASSERT_TRUE(picture && shown) << id << ": " << file;
        EXPECT_GT(opaque_pixels(picture), 24 * 24 / 8) << file << " is an empty square";
        EXPECT_TRUE(same_pixels(shown, picture)) << id << " does not show " << file;
        g_object_unref(picture);
        g_object_unref(shown);
    }

    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    set_icon();
    GdkPixbuf* icon = gtk_window_get_icon(GTK_WINDOW(window));
    ASSERT_TRUE(icon);
    EXPECT_GT(opaque_pixels(icon), 48 * 48 / 8);
    gtk_widget_destroy(window);
    std::filesystem::current_path(old);
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

void copy_styles_here()
{
    for (int n = 1; n <= 6; ++n) {
        const std::string name = "gtkrc" + std::to_string(n);
        write_file(name, read_file(std::string(RUN_DIR) + "/" + name));
    }
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

std::string hex(const GdkColor& c)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.red >> 8, c.green >> 8, c.blue >> 8);
    return buf;
}

}  // namespace

// Each style item copies its file over "gtkrc" and restyles at once.
TEST(Styles, SixDistinctLegibleStylesThatParseCleanly)
{
    ensure_gtk();
    scratch_dir dir;
    copy_styles_here();
    write_file("gtkrc", read_file(std::string(SOURCE_DIR) + "/data/styles/gtkrc"));
    EXPECT_EQ(read_file("gtkrc"), read_file("gtkrc1")) << "the delivered gtkrc is style 1";
    gtk_rc_parse("gtkrc");
    init_stocks();

    // Widgets of the kinds the window shows, on the backgrounds the window
    // paints itself.
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    CreateMenus();
    GtkWidget* button = gtk_button_new_with_label("前一页");
    GtkWidget* label = gtk_label_new("磁盘余量:");
    GtkWidget* view = gtk_tree_view_new();
    for (GtkWidget* w : {menubar, button, label, view})
        gtk_box_pack_start(GTK_BOX(box), w, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_widget_show_all(window);
    GtkWidget* item = menu_item(0, 0);
    GtkWidget* menu = gtk_widget_get_parent(item);
    gtk_widget_realize(menu);
    gtk_widget_realize(item);

    const char* const painted[] = {"#d9ebff", "#8ec4ff", "#cde5ff", "#ebf4fa", "#e2eee8"};
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE("style " + std::to_string(n));
        EXPECT_EQ(output_of(2, [n] { activate(1, n - 1); }), "");
        pump_events();
        EXPECT_EQ(read_file("gtkrc"), read_file("gtkrc" + std::to_string(n)));

        GtkStyle* b = gtk_widget_get_style(button);
        GtkStyle* l = gtk_widget_get_style(label);
        GtkStyle* v = gtk_widget_get_style(view);
        GtkStyle* m = gtk_widget_get_style(item);
        const struct {
            GdkColor fg, bg;
            double least;
        } pairs[] = {
            {b->fg[GTK_STATE_NORMAL], b->bg[GTK_STATE_NORMAL], 7},
            {b->fg[GTK_STATE_PRELIGHT], b->bg[GTK_STATE_PRELIGHT], 7},
            {b->fg[GTK_STATE_INSENSITIVE], b->bg[GTK_STATE_INSENSITIVE], 2.5},
            {v->text[GTK_STATE_NORMAL], v->base[GTK_STATE_NORMAL], 7},
            {v->text[GTK_STATE_SELECTED], v->base[GTK_STATE_SELECTED], 4.5},
            {v->text[GTK_STATE_ACTIVE], v->base[GTK_STATE_ACTIVE], 4.5},
            {m->fg[GTK_STATE_PRELIGHT], m->bg[GTK_STATE_PRELIGHT], 4.5},
            {m->fg[GTK_STATE_NORMAL], gtk_widget_get_style(menu)->bg[GTK_STATE_NORMAL], 7},
        };
        for (const auto& p : pairs)
            EXPECT_GE(contrast(p.fg, p.bg), p.least) << hex(p.fg) << " on " << hex(p.bg);
        for (const char* spec : painted) {
            GdkColor bg {};
            gdk_color_parse(spec, &bg);
            EXPECT_GE(contrast(l->fg[GTK_STATE_NORMAL], bg), 7) << spec;
        }
    }

    // A style without its file: "gtkrc" stays, the look stays.
    const std::string look = hex(gtk_widget_get_style(button)->bg[GTK_STATE_NORMAL]);
    std::filesystem::remove("gtkrc5");
    activate(1, 4);
    pump_events();
    EXPECT_EQ(read_file("gtkrc"), read_file("gtkrc6"));
    EXPECT_EQ(hex(gtk_widget_get_style(button)->bg[GTK_STATE_NORMAL]), look);
    gtk_widget_destroy(window);
}
