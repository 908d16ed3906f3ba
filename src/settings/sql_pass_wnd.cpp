#include "settings/sql_pass_wnd.h"

#include "base/config.h"
#include "base/language.h"
#include "gui/main_window.h"
#include "gui/message_box.h"
#include "settings/settings_form.h"

#include <cstring>

GtkWidget* dialog_log = nullptr;
GtkWidget* edit1_setup_log = nullptr;
GtkWidget* edit2_setup_log = nullptr;
GtkWidget* edit3_setup_log = nullptr;
GtkWidget* edit4_setup_log = nullptr;
int b_exit = 87;
bool config_save_failed = false;

namespace {

struct form_texts {
    tr3 frame, address, user, password, port, heading, note1, note2;
};

constexpr form_texts TEXTS {
    {"数据库设置", "mysql setup", "數據庫設置"},
    {"服务器ip", "mysql ip", "服務器ip"},
    {"用户名  ", "user    ", "用戶名  "},
    {"密码    ", "password", "密碼    "},
    {"端口号  ", "port    ", "端口號  "},
    {"说明:", "comment:", "說明:"},
    {"  1、服务器IP：不填写，则默认使用本地数据库", "  1,empty ip for localhost",
     "  1、服務器IP：不填寫，則使用本地數據庫"},
    {"  2、数据库端口：不填写，则使用数据库默认3306端口", "  2,empty port for 3306 port",
     "  2、數據庫端口：不填寫，則使用數據庫默認3306端口"},
};

GtkWidget* build_form(unsigned lang)
{
    const form_texts& t = TEXTS;
    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    GtkWidget* frame = gtk_frame_new(tr(t.frame, lang));
    GtkWidget* rows = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(frame), rows);
    edit1_setup_log = settings_entry_row(rows, tr(t.address, lang));
    edit2_setup_log = settings_entry_row(rows, tr(t.user, lang));
    edit3_setup_log = settings_entry_row(rows, tr(t.password, lang));
    edit4_setup_log = settings_entry_row(rows, tr(t.port, lang));
    gtk_box_pack_start(GTK_BOX(vbox), frame, TRUE, TRUE, 0);
    settings_note(vbox, std::string(63, '-').c_str(), TRUE);
    settings_note(vbox, tr(t.heading, lang), FALSE);
    settings_note(vbox, tr(t.note1, lang), FALSE);
    settings_note(vbox, tr(t.note2, lang), FALSE);
    return vbox;
}

// The dialog's entries and the fields they edit.
std::array<settings_field, 4> form_fields()
{
    return {{{edit1_setup_log, &config_info_::ip},
             {edit2_setup_log, &config_info_::user},
             {edit3_setup_log, &config_info_::pass},
             {edit4_setup_log, &config_info_::sql_port}}};
}

void forget_entries(GtkWidget*, gpointer)
{
    dialog_log = nullptr;
    edit1_setup_log = edit2_setup_log = edit3_setup_log = edit4_setup_log = nullptr;
}

}  // namespace

GtkWidget* init_setup_wnd_2() { return build_form(0); }
GtkWidget* init_setup_wnd_2_fanti() { return build_form(2); }
GtkWidget* init_setup_wnd_2_en() { return build_form(1); }

int read_config()
{
    if (config_read_startup(CONFIG_FILE, save_info) != 0)
        return -1;
    if (edit1_setup_log && edit2_setup_log && edit3_setup_log && edit4_setup_log)
        settings_show(form_fields(), save_info);
    return 0;
}

int write_config()
{
    // The entries go into memory even when the file cannot be written, so
    // the next attempt uses what was just entered.
    settings_take(form_fields(), save_info);
    return config_write(CONFIG_FILE, save_info);
}

void create_password()
{
    GtkWidget* form = lang_sys == 2052 ? init_setup_wnd_2()
        : lang_sys == 1028             ? init_setup_wnd_2_fanti()
                                       : init_setup_wnd_2_en();
    // After a failed save the file still holds the old settings; show the
    // ones in use.
    if (config_save_failed)
        settings_show(form_fields(), save_info);
    else
        read_config();

    dialog_log = gtk_dialog_new_with_buttons(
        "sql log wnd", window ? GTK_WINDOW(window) : nullptr, GTK_DIALOG_MODAL,
        tr_sys({"打开数据库", "open mysql", "打開數據庫"}), GTK_RESPONSE_OK,
        tr_sys({"退出程序", "exit", "退出程序"}), GTK_RESPONSE_CANCEL, nullptr);
    g_signal_connect(dialog_log, "destroy", G_CALLBACK(forget_entries), nullptr);
    GtkWidget* label = gtk_label_new(
        tr_sys({"不能打开数据库，请重新设置", "set mysql password", "不能打開數據庫，請重新設置"}));
    GtkWidget* vbox = GTK_DIALOG(dialog_log)->vbox;
    gtk_box_pack_start(GTK_BOX(vbox), label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(vbox), form, FALSE, FALSE, 0);
    gtk_widget_show_all(dialog_log);
    gtk_window_resize(GTK_WINDOW(dialog_log), 400, 300);
    gtk_window_set_position(GTK_WINDOW(dialog_log), GTK_WIN_POS_CENTER);

    const int response = run_dialog(GTK_DIALOG(dialog_log));
    bool unsaved = false;
    if (response == GTK_RESPONSE_OK) {
        b_exit = 87;
        unsaved = write_config() != 0;
        config_save_failed = unsaved;
    } else {
        b_exit = 88;
    }
    gtk_widget_destroy(dialog_log);
    if (unsaved)
        MessageBox_(tr_sys({"设置不能保存，本次使用刚输入的设置",
                            "can not save the settings, the values just entered are used",
                            "設置不能保存，本次使用剛輸入的設置"}));
}
