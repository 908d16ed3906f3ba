#include "email/menu_popup_email_attach.h"

#include "base/language.h"
#include "email/email_attach_wnd.h"
#include "gui/message_box.h"

#include <string>

GtkWidget* menu_email_attach = nullptr;
GtkWidget* popup_email_attach = nullptr;

namespace {

const tr3 ITEM = {"导出附件", "export attach", "導出附件"};
const tr3 EXPORTED = {"导出成功，放在 %s/mail_save/attach/", "export to: %s/mail_save/attach/",
                      "導出成功，放在: %s/mail_save/attach/"};
const tr3 NOT_EXPORTED = {"导出失败，附件未能写入 %s/mail_save/attach/",
                          "export failed: the attachment was not written to %s/mail_save/attach/",
                          "導出失敗，附件未能寫入 %s/mail_save/attach/"};

void relabel(unsigned lang)
{
    if (popup_email_attach)
        gtk_menu_item_set_label(GTK_MENU_ITEM(popup_email_attach), tr(ITEM, lang));
}

}  // namespace

void init_popup_menu_email_attach()
{
    menu_email_attach = gtk_menu_new();
    popup_email_attach = gtk_menu_item_new_with_label(ITEM.zh);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu_email_attach), popup_email_attach);
    g_signal_connect(popup_email_attach, "activate", G_CALLBACK(menu_proc_email_attach), nullptr);
    gtk_widget_show_all(menu_email_attach);
}

void menu_proc_email_attach(GtkMenuItem*, gpointer)
{
    gchar* cwd = g_get_current_dir();
    gchar* shown = g_filename_display_name(cwd);
    bool written = export_email_attach(2) == 0;
    gchar* text = g_strdup_printf(tr(written ? EXPORTED : NOT_EXPORTED), shown);
    MessageBox_2(text);
    g_free(text);
    g_free(shown);
    g_free(cwd);
}

void change_chinese_popup_email_attach() { relabel(0); }
void change_en_popup_email_attach() { relabel(1); }
void change_fanti_popup_email_attach() { relabel(2); }
