#include "app/main.h"

#include "companion/extern.h"
#include "app/language_switch.h"
#include "app/menus.h"
#include "app/mysql_init.h"
#include "app/menus_2.h"
#include "app/stock_item.h"
#include "app/toolbar.h"
#include "base/language.h"
#include "gui/message_box.h"
#include "companion/parse.h"
#include "browse/button_wnd_list.h"
#include "browse/list_data.h"
#include "browse/menu_reverse_source_ip.h"
#include "browse/popup_menu.h"
#include "browse/rename.h"
#include "browse/set_list_data.h"
#include "browse/tree2.h"
#include "disk/disk_info.h"
#include "filter/filter_wnd_2.h"
#include "filter/show_filter_num_wnd.h"
#include "exports/export_state.h"
#include "exports/export_wnd.h"
#include "email/email_attach_wnd.h"
#include "email/email_top_wnd.h"
#include "email/email_tree.h"
#include "email/menu_popup_email_attach.h"
#include "email/python_interface.h"
#include "app/heartbeat.h"
#include "app/process_package.h"
#include "receive/udp.h"
#include "receive/udp_proc.h"
#include "storage/mysql_data.h"
#include "storage/mysql_ctrl.h"
#include "storage/reverse_source.h"

#include <cstdio>

namespace {

constexpr int LEFT_COLUMN_MIN = 180;

void set_bg(GtkWidget* widget, const char* colour)
{
    GdkColor c;
    if (widget && gdk_color_parse(colour, &c))
        gtk_widget_modify_bg(widget, GTK_STATE_NORMAL, &c);
}

void create_containers()
{
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    vbox_1 = gtk_vbox_new(FALSE, 0);
    vbox_2 = gtk_vbox_new(FALSE, 0);
    vbox_3 = gtk_vbox_new(FALSE, 0);
    vbox_change_email = gtk_vbox_new(FALSE, 0);
    hpaned_2_box = gtk_hbox_new(FALSE, 0);
    set_icon();
    gtk_window_set_title(GTK_WINDOW(window), "日志服务器");
    g_signal_connect(window, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer) { quit_main(); }),
                     nullptr);
    gtk_container_set_border_width(GTK_CONTAINER(window), 10);

    hpaned_1 = gtk_hpaned_new();
    vpaned_1 = gtk_vpaned_new();
    vpaned_2 = gtk_vpaned_new();
    vpaned_3 = gtk_vpaned_new();
    gtk_paned_add2(GTK_PANED(hpaned_1), vbox_change_email);
    gtk_box_pack_start(GTK_BOX(vbox_change_email), vpaned_3, TRUE, TRUE, 0);
    g_signal_connect(hpaned_1, "notify::position", G_CALLBACK(event_aaa), nullptr);
    gtk_paned_set_position(GTK_PANED(hpaned_1), LEFT_COLUMN_MIN);

    init_stocks();
    CreateMenus();
    CreateMenus_2();
}

void create_viewport()
{
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    viewport = gtk_viewport_new(gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(scrolled)),
                                gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrolled)));
    // Only its adjustments were wanted.
    gtk_widget_destroy(scrolled);
}

// The panes of the main window, in their fixed order.
void build_panes()
{
    init_tree_2();
    init_button_wnd_list();
    set_list_button_images(image_left, image_right, image_16);
    InitTreeView();
    init_filter_wnd();
    set_filter_button_image(image_filter2);
    // Delete and export act on the filter result of the node on screen only.
    tree_on_selected([](guint, guint) { filter_node_changed(); });
    init_toolbar();
    init_email_attach_wnd();
    init_email_top_wnd();
    init_popup_menu_email_attach();
    // A router's e-mail row puts the e-mail pane in place of the log list.
    tree_on_selected(email_on_tree_selected);
    init_progress();
    init_disk_info_show();
    init_show_num();
}

void assemble_window()
{
    gtk_container_add(GTK_CONTAINER(viewport), scrolled_win);
    gtk_box_pack_start(GTK_BOX(vbox_2), scrolled_TreeView, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(vbox_2), hbox_button_list, FALSE, FALSE, 5);
    gtk_box_pack_start(GTK_BOX(vbox_1), menubar, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(vbox_1), menubar_2, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(vbox_1), toolbar, TRUE, TRUE, 0);
    gtk_paned_add1(GTK_PANED(vpaned_1), vbox_1);
    gtk_paned_add2(GTK_PANED(vpaned_1), hpaned_1);
    gtk_paned_add1(GTK_PANED(hpaned_1), vpaned_2);
    gtk_paned_pack1(GTK_PANED(vpaned_2), viewport, TRUE, TRUE);
    gtk_paned_pack2(GTK_PANED(vpaned_2), vbox_3, FALSE, TRUE);
    gtk_paned_pack1(GTK_PANED(vpaned_3), vbox_2, TRUE, TRUE);
    gtk_paned_pack2(GTK_PANED(vpaned_3), hpaned_2_box, FALSE, FALSE);
    gtk_box_pack_start(GTK_BOX(hpaned_2_box), vbox_top_filter, TRUE, TRUE, 5);
    gtk_box_pack_start(GTK_BOX(vbox_3), vbox_top_progress, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(vbox_3), hbox_top_filter_num, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(vbox_3), vbox_disk, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(vbox_change_email), vbox_top_email, TRUE, TRUE, 0);
    set_bg(window, "#d9ebff");
    set_bg(menubar, "#8ec4ff");
    set_bg(menubar_2, "#d9ebff");
    set_bg(toolbar, "#cde5ff");
    set_list_data();
    gtk_container_add(GTK_CONTAINER(window), vpaned_1);
}

// What the device tree tells the panes around it.
void connect_tree_listeners()
{
    // Aliases on every router row: those made by a rebuild after a deletion
    // and those of routers first heard of later.
    tree_on_router_row(rename_router_row);
    // Stored mail comes back with every rebuild, before the aliases.
    tree_on_rebuilt(put_email_to_tree);
    tree_on_rebuilt(rename_to_tree);
    popup_on_mails_deleted(email_on_mails_deleted);
    tree_on_right_click(popup_menu_on_right_click);
    // The reversed-source item queries through the export's connection.
    export_on_running([](bool running) { set_reverse_item_sensitive(!running); });
}

void apply_system_language()
{
    if (lang_sys == 1028)
        change_fanti(nullptr, nullptr);
    else if (lang_sys != 2052)
        change_englist(nullptr, nullptr);
}

}  // namespace

void record_language_line()
{
    std::FILE* f = std::fopen("language_info.txt", "at");
    if (!f)
        return;
    std::fprintf(f, "language %u \r\n", lang_sys);
    std::fwrite("\n========\n", 1, 10, f);
    std::fflush(f);
    std::fclose(f);
}

void event_aaa(GObject* paned, GParamSpec*, gpointer)
{
    if (gtk_paned_get_position(GTK_PANED(paned)) <= LEFT_COLUMN_MIN - 1)
        gtk_paned_set_position(GTK_PANED(paned), LEFT_COLUMN_MIN);
}

void func1(GtkWidget*, gpointer)
{
    const char* text = language_nu == 0 ? "真的要退出吗"
        : language_nu == 2              ? "真的要退出嗎"
                                        : "Are You realy want to bye?";
    if (MessageBox_2(text) == GTK_RESPONSE_OK)
        quit_main();
}

void quit_main()
{
    if (gtk_main_level() > 0)
        gtk_main_quit();
}

void build_main_window()
{
    create_containers();
    create_viewport();
    build_panes();
    assemble_window();
    gtk_window_resize(GTK_WINDOW(window), 1000, 500);
    gtk_window_maximize(GTK_WINDOW(window));
    resize_paned_filter();
    gtk_widget_show_all(window);
    gtk_widget_hide(menubar_2);
    gtk_widget_hide(vbox_top_progress);
    gtk_widget_hide(vbox_top_email);
    gtk_widget_set_sensitive(button2_filter, FALSE);
    gtk_widget_set_sensitive(button3_filter, FALSE);
}

int logserver_main(int argc, char** argv)
{
    lang_sys = system_language_id();
    record_language_line();
    get_disk_name();

    // GLib's threading is initialised by GLib itself before main.
    gtk_init(&argc, &argv);
    install_message_box_notices();
    set_record_processor(process_package);

    init_extern_func();
    init_extern_func_2();
    init_extern_func_3();
    init_extern_func_4(MyRecvProc_tcp);
    init_vc_excel();

    init_python_1();
    init_python_2();

    // The panes built before it in the sequence do not touch the database;
    // connecting first lets quitting the settings dialog end the program
    // before any window exists.
    init_mysql();
    // What an earlier run spooled is stored before any new row.
    start_storing();
    install_ways_out();
    build_main_window();

    load_parse();
    connect_tree_listeners();
    sql_to_tree();
    put_email_to_tree();
    init_buf_rename();
    udp_thread();

    gtk_rc_parse("gtkrc");
    // Parsing alone leaves the widgets already shown in their old look.
    gtk_rc_reset_styles(gtk_settings_get_default());
    // A type hint only takes effect on a window that is not mapped yet; the
    // window is shown by now and keeps its normal hint.
    if (!gtk_widget_get_mapped(window))
        gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_SPLASHSCREEN);
    apply_system_language();

    start_heartbeat();

    gdk_threads_enter();
    gtk_main();
    gdk_threads_leave();
    release_list();

    // Every way out (menu, window, signal) comes here: what was received is
    // stored, spooled or kept in the receiver's queue file.
    finish_reception();
    report_heartbeat();
    return 0;
}
