#include "settings/setup_wnd_popup.h"

#include "base/config.h"
#include "base/language.h"
#include "gui/main_window.h"
#include "gui/message_box.h"
#include "settings/settings_form.h"

GtkWidget* dialog_setup_pop = nullptr;
GtkWidget* edit1_setup_pop = nullptr;
GtkWidget* edit2_setup_pop = nullptr;
GtkWidget* edit3_setup_pop = nullptr;
GtkWidget* edit4_setup_pop = nullptr;
GtkWidget* edit5_setup_pop = nullptr;
int b_exit_pop = 87;

namespace {

void forget_entries()
{
    dialog_setup_pop = nullptr;
    edit1_setup_pop = edit2_setup_pop = edit3_setup_pop = edit4_setup_pop = edit5_setup_pop =
        nullptr;
}

bool entries_exist()
{
    return edit1_setup_pop && edit2_setup_pop && edit3_setup_pop && edit4_setup_pop &&
        edit5_setup_pop;
}

}  // namespace

GtkWidget* init_setup_wnd_3()
{
    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);

    GtkWidget* db_frame = gtk_frame_new(tr({"数据库设置", "MySql setup", "數據庫設置"}));
    GtkWidget* db_rows = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(db_frame), db_rows);
    edit1_setup_pop = settings_entry_row(db_rows, tr({"服务器ip  ", "server ip", "服務器ip  "}));
    edit2_setup_pop = settings_entry_row(db_rows, tr({"用户名    ", "user     ", "用戶名    "}));
    edit3_setup_pop = settings_entry_row(db_rows, tr({"密码      ", "password ", "密碼      "}));
    edit4_setup_pop = settings_entry_row(db_rows, tr({"数据库端口", "port     ", "數據庫端口"}));
    gtk_box_pack_start(GTK_BOX(db_rows), gtk_label_new(""), TRUE, TRUE, 0);
    settings_note(db_rows, tr({"说明:", "comment:", "說明:"}), FALSE);
    settings_note(db_rows,
                  tr({"  1、服务器IP：不填写，则默认使用本地数据库", "  1,no ip for localhost",
                      "  1、服務器IP：不填寫，則使用本地數據庫"}),
                  FALSE);
    settings_note(db_rows,
                  tr({"  2、数据库端口：不填写，则使用数据库默认3306端口",
                      "  2,no port for mysql equl 3306 port",
                      "  2、數據庫端口：不填寫，則使用數據庫默認3306端口"}),
                  FALSE);
    gtk_box_pack_start(GTK_BOX(vbox), db_frame, TRUE, TRUE, 0);

    GtkWidget* udp_frame =
        gtk_frame_new(tr({"udp接收端口设置", "udp recieve port", "udp 接收端口設置"}));
    GtkWidget* udp_rows = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(udp_frame), udp_rows);
    edit5_setup_pop = settings_entry_row(udp_rows, tr({"端口", "port", "端口"}));
    gtk_widget_set_sensitive(edit5_setup_pop, FALSE);
    gtk_box_pack_start(GTK_BOX(vbox), udp_frame, TRUE, TRUE, 0);
    return vbox;
}

namespace {

// The pop-up's database entries and the fields they edit.
std::array<settings_field, 4> database_fields()
{
    return {{{edit1_setup_pop, &config_info_::ip},
             {edit2_setup_pop, &config_info_::user},
             {edit3_setup_pop, &config_info_::pass},
             {edit4_setup_pop, &config_info_::sql_port}}};
}

}  // namespace

int read_config_2()
{
    // The port the receiver listens on, read as the receiver reads it (a
    // file of another size included), so that saving keeps it.
    if (edit5_setup_pop)
        gtk_entry_set_text(GTK_ENTRY(edit5_setup_pop),
                           std::to_string(config_file_udp_port(CONFIG_FILE)).c_str());
    if (config_read_exact(CONFIG_FILE, save_info) != 0)
        return -1;
    if (entries_exist())
        settings_show(database_fields(), save_info);
    return 0;
}

int write_config_2()
{
    settings_take(database_fields(), save_info);
    settings_take(std::array<settings_field, 1> {{{edit5_setup_pop, &config_info_::udp_port}}},
                  save_info);
    return config_write(CONFIG_FILE, save_info);
}

void create_setup_pop()
{
    GtkWidget* form = init_setup_wnd_3();
    read_config_2();

    dialog_setup_pop =
        gtk_dialog_new_with_buttons("setup", window ? GTK_WINDOW(window) : nullptr,
                                    GTK_DIALOG_MODAL, tr({"保存", "save", "保存"}), GTK_RESPONSE_OK,
                                    tr({"取消", "cancel", "取消"}), GTK_RESPONSE_CANCEL, nullptr);
    GtkWidget* label = gtk_label_new(tr({"参数设置窗口", "config system", "參數設置窗口"}));
    GtkWidget* vbox = GTK_DIALOG(dialog_setup_pop)->vbox;
    gtk_box_pack_start(GTK_BOX(vbox), label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(vbox), form, FALSE, FALSE, 0);
    gtk_widget_show_all(dialog_setup_pop);
    gtk_window_resize(GTK_WINDOW(dialog_setup_pop), 400, 300);

    // Only cancel refuses; closing the window saves like the save button.
    const int response = run_dialog(GTK_DIALOG(dialog_setup_pop));
    bool unsaved = false;
    if (response == GTK_RESPONSE_CANCEL) {
        b_exit_pop = 88;
    } else {
        b_exit_pop = 87;
        unsaved = write_config_2() != 0;
    }
    gtk_widget_destroy(dialog_setup_pop);
    forget_entries();
    if (unsaved)
        MessageBox_(tr({"设置不能保存", "can not save the settings", "設置不能保存"}));
}
