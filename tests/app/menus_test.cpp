// The main window's menus, toolbar and language switch, the stock pictures
// and the style files.
#include "app/language_switch.h"
#include "app/main.h"
#include "app/menus.h"
#include "app/stock_item.h"
#include "app/toolbar.h"
#include "base/language.h"
#include "browse/button_wnd_list.h"
#include "browse/list_data.h"
#include "browse/tree2.h"
#include "disk/disk_info.h"
#include "gui/message_box.h"
#include "receive/udp_proc.h"
#include "support/capture.h"
#include "support/gui_support.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
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

void click(int tool) { g_signal_emit_by_name(toolbar_item(tool), "clicked"); }

// A view's column titles, or the indices of its visible columns.
texts columns(GtkWidget* view, bool visible_indices = false)
{
    texts out;
    GList* all = gtk_tree_view_get_columns(GTK_TREE_VIEW(view));
    int i = 0;
    for (GList* l = all; l; l = l->next, ++i) {
        auto* column = GTK_TREE_VIEW_COLUMN(l->data);
        if (!visible_indices)
            out.emplace_back(gtk_tree_view_column_get_title(column));
        else if (gtk_tree_view_column_get_visible(column))
            out.push_back(std::to_string(i));
    }
    g_list_free(all);
    return out;
}

// Everything the language switch relabels, part by part.
std::array<texts, 7> take_snapshot()
{
    texts menus, tools;
    collect_menu(menubar, menus);
    for (int pos = 0; pos < gtk_toolbar_get_n_items(GTK_TOOLBAR(toolbar)); ++pos)
        tools.emplace_back(gtk_tool_button_get_label(GTK_TOOL_BUTTON(toolbar_item(pos))));
    return {
        menus,
        tools,
        columns(treeview),
        columns(treeview_list),
        label_texts(hbox_button_list),
        {gtk_label_get_text(GTK_LABEL(label_1_disk)), gtk_label_get_text(GTK_LABEL(label_4_disk))},
        {gtk_window_get_title(GTK_WINDOW(window))}};
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
    for (int y = 0; y < gdk_pixbuf_get_height(p); ++y)
        for (int x = 0; x < gdk_pixbuf_get_width(p); ++x)
            count += gdk_pixbuf_get_pixels(p)[y * gdk_pixbuf_get_rowstride(p) + x * 4 + 3] > 0;
    return count;
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
    for (unsigned lang : {1u, 2u, 0u}) {
        SCOPED_TRACE("language " + std::to_string(lang));
        activate(2, static_cast<int>(lang));
        EXPECT_EQ(language_nu, lang);
        seen[lang] = take_snapshot();
        switch_language(lang);
        EXPECT_EQ(take_snapshot(), seen[lang]) << "chosen twice";
        // One of the three type columns, and of the three text columns, shows.
        const std::string type = std::to_string(1 + lang), text = std::to_string(5 + lang);
        EXPECT_EQ(columns(treeview, true), (texts {"0", type, "4"}));
        EXPECT_EQ(columns(treeview_list, true),
                  (texts {"0", type, "4", text, "8", "9", "10", "11"}));
    }
    EXPECT_EQ(at_start, seen[0]) << "the window starts in simplified Chinese";
    for (std::size_t part = 0; part < seen[0].size(); ++part)
        for (auto [a, b] : {std::pair {0, 1}, {0, 2}, {1, 2}})
            EXPECT_NE(seen[a][part], seen[b][part]) << "part " << part << ", " << a << " and " << b;
    EXPECT_EQ(seen[1][0].at(0), "system");
    EXPECT_EQ(seen[2][0].at(0), "系統");
}

TEST_F(MainWindow, LeftColumnNeverNarrowerThan180)
{
    gtk_paned_set_position(GTK_PANED(hpaned_1), 60);
    EXPECT_EQ(gtk_paned_get_position(GTK_PANED(hpaned_1)), 180);
    gtk_paned_set_position(GTK_PANED(hpaned_1), 300);
    EXPECT_EQ(gtk_paned_get_position(GTK_PANED(hpaned_1)), 300);
}

// Every menu and tool item reaches its action: reception (the tools follow its
// state, the menu items stay usable), the toolbar toggle, and the setup,
// version and quit dialogs in the current language.
TEST_F(MainWindow, MenuAndToolItemsReachTheirActions)
{
    const std::pair<std::function<void()>, int> steps[] = {
        {[] {}, 1},  // as built
        {[] { activate(0, 2); }, 0},
        {[] { activate(0, 1); }, 1},
        {[] { click(TOOL_CLOSE_RECV); }, 0},
        {[] { click(TOOL_OPEN_RECV); }, 1},
    };
    for (const auto& [step, open] : steps) {
        step();
        EXPECT_EQ(b_recv, open);
        EXPECT_EQ(gtk_widget_get_sensitive(GTK_WIDGET(toolbar_item(TOOL_OPEN_RECV))), !open);
        EXPECT_EQ(gtk_widget_get_sensitive(GTK_WIDGET(toolbar_item(TOOL_CLOSE_RECV))), open);
        EXPECT_TRUE(gtk_widget_get_sensitive(menu_item(0, 1)) &&
                    gtk_widget_get_sensitive(menu_item(0, 2)));
    }
    for (bool shown : {false, true, false}) {
        activate(3, 0);
        EXPECT_EQ(gtk_widget_get_visible(toolbar), shown);
    }

    dialog_script script;  // every dialog cancelled
    script_dialogs(script);
    activate(0, 0);
    activate(4, 0);
    activate(0, 3);
    change_englist(nullptr, nullptr);
    click(TOOL_SETUP);
    click(TOOL_VERSION);
    for (auto& shown : script.shown)
        shown = shown.substr(0, shown.find('|'));
    EXPECT_EQ(
        script.shown,
        (texts {"参数设置窗口", "版本号:v1.0", "真的要退出吗", "config system", "version:v1.0"}));
}

TEST(StockItems, EachShowsItsOwnPictureFromTheWorkingDirectory)
{
    ensure_gtk();
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(RUN_DIR);
    init_stocks();
    GSList* ids = gtk_stock_list_ids();
    int own = 0;
    for (GSList* l = ids; l; l = l->next) {
        const char* id = static_cast<gchar*>(l->data);
        const char* file = stock_icon_file(id);
        if (!file)
            continue;  // GTK's own
        ++own;
        GdkPixbuf* picture = gdk_pixbuf_new_from_file(file, nullptr);
        GdkPixbuf* shown = render(id);
        ASSERT_TRUE(picture && shown) << id << ": " << file;
        EXPECT_GT(opaque_pixels(picture), 24 * 24 / 8) << file << " is an empty square";
        const gsize bytes = gdk_pixbuf_get_byte_length(picture);
        EXPECT_TRUE(
            gdk_pixbuf_get_width(shown) == gdk_pixbuf_get_width(picture) &&
            gdk_pixbuf_get_byte_length(shown) == bytes &&
            std::memcmp(gdk_pixbuf_read_pixels(shown), gdk_pixbuf_read_pixels(picture), bytes) == 0)
            << id << " does not show " << file;
        g_object_unref(picture);
        g_object_unref(shown);
    }
    g_slist_free_full(ids, g_free);
    EXPECT_EQ(own, STOCK_ITEM_COUNT);

    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    set_icon();
    GdkPixbuf* icon = gtk_window_get_icon(GTK_WINDOW(window));
    ASSERT_TRUE(icon);
    EXPECT_GT(opaque_pixels(icon), 48 * 48 / 8);
    gtk_widget_destroy(window);
    std::filesystem::current_path(old);
}

// The fixture's working directory holds no picture files: the window is
// built all the same, and its stock items, still known to GTK, show no picture.
TEST_F(MainWindow, MissingPictureFilesOnlyLoseThePictures)
{
    GdkPixbuf* shown = render("my_stock_exit");
    ASSERT_TRUE(shown);
    EXPECT_EQ(opaque_pixels(shown), 0) << "no picture, and no missing-image sign";
    g_object_unref(shown);
}

// Each style item copies its file over "gtkrc" and restyles the window at
// once, without a warning, its text legible on the backgrounds the window
// paints itself; a style whose file is missing changes nothing.
TEST_F(MainWindow, EachStyleParsesCleanlyAndRestylesAtOnce)
{
    for (int n = 1; n <= 6; ++n)
        write_file("gtkrc" + std::to_string(n), read_file(RUN_DIR "/gtkrc" + std::to_string(n)));
    write_file("gtkrc", read_file(SOURCE_DIR "/data/styles/gtkrc"));
    EXPECT_EQ(read_file("gtkrc"), read_file("gtkrc1")) << "the delivered gtkrc is style 1";
    gtk_rc_parse("gtkrc");
    GList* buttons = gtk_container_get_children(GTK_CONTAINER(hbox_button_list));
    GtkWidget* button = GTK_WIDGET(buttons->data);
    g_list_free(buttons);
    std::set<guint> looks;
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE("style " + std::to_string(n));
        EXPECT_EQ(output_of(2, [n] { activate(1, n - 1); }), "");
        pump_events();
        EXPECT_EQ(read_file("gtkrc"), read_file("gtkrc" + std::to_string(n)));
        looks.insert(gdk_color_hash(&gtk_widget_get_style(button)->bg[GTK_STATE_NORMAL]));
        for (const char* painted : {"#d9ebff", "#8ec4ff", "#cde5ff", "#ebf4fa", "#e2eee8"}) {
            GdkColor bg {};
            gdk_color_parse(painted, &bg);
            EXPECT_GE(contrast(gtk_widget_get_style(label_1_disk)->fg[GTK_STATE_NORMAL], bg), 7)
                << painted;
        }
    }
    EXPECT_EQ(looks.size(), 6u) << "each style restyles the window at once";

    // A style without its file: "gtkrc" stays, the look stays.
    const GdkColor look = gtk_widget_get_style(button)->bg[GTK_STATE_NORMAL];
    std::filesystem::remove("gtkrc5");
    activate(1, 4);
    pump_events();
    EXPECT_EQ(read_file("gtkrc"), read_file("gtkrc6"));
    EXPECT_TRUE(gdk_color_equal(&look, &gtk_widget_get_style(button)->bg[GTK_STATE_NORMAL]));
}
