#include "browse/rename.h"

#include "base/language.h"
#include "base/other_func.h"
#include "base/utf8_clean.h"
#include "browse/rename_table.h"
#include "browse/tree2.h"
#include "gui/main_window.h"
#include "gui/message_box.h"

#include <string>

GtkWidget* vbox1_rename = nullptr;
GtkWidget* edit1_rename = nullptr;
GtkWidget* edit2_rename = nullptr;

namespace {

// A name as the tree can show it (a file may hold any bytes).
std::string shown_text(std::string_view name) { return utf8_clean(name); }

void set_router_name(GtkTreeIter* row, const std::string& text)
{
    gtk_tree_store_set(store, row, TREE_COL_NAME, text.c_str(), -1);
}

std::string dotted(guint ip)
{
    char buf[16];
    convert_ip_2_r(ip, buf, sizeof buf);
    return buf;
}

GtkWidget* labelled_row(GtkWidget* box, const char* label, GtkWidget* entry)
{
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), gtk_label_new(label), FALSE, FALSE, 5);
    gtk_box_pack_start(GTK_BOX(row), entry, TRUE, TRUE, 5);
    gtk_box_pack_start(GTK_BOX(box), row, FALSE, FALSE, 5);
    return row;
}

void apply_alias(guint ip, const std::string& text)
{
    int pos = set_rename(ip, text);
    if (pos < 0 && !text.empty()) {
        MessageBox_(tr({"200个别名都已使用，不能再设置新的别名",
                        "All 200 aliases are in use: no new alias can be set",
                        "200個別名都已使用，不能再設置新的別名"}));
        return;
    }
    if (text.empty()) {
        GtkTreeIter row;
        if (store && tree_find_ip_2(ip, &row) >= 0)
            set_router_name(&row, dotted(ip));
    }
    if (pos < 0)
        return;  // no alias to remove and no record to mark
    write_rename();
    rename_to_tree();
}

}  // namespace

int read_rename()
{
    if (read_rename_file(RENAME_FILE) != 0)
        return -1;
    rename_to_tree();
    return 0;
}

int write_rename() { return write_rename_file(RENAME_FILE); }

void init_buf_rename()
{
    clear_rename_table();
    read_rename();
}

void rename_to_tree()
{
    if (!store)
        return;
    for_each_shown_rename([](std::uint32_t ip, std::string_view name) {
        GtkTreeIter row;
        if (tree_find_ip_2(ip, &row) >= 0)
            set_router_name(&row, shown_text(name));
    });
}

void rename_router_row(GtkTreeIter* row, guint ip)
{
    std::string_view name;
    if (store && row && rename_shown(ip, name))
        set_router_name(row, shown_text(name));
}

void create_rename_wnd(guint ip)
{
    GtkWidget* dialog = gtk_dialog_new_with_buttons(
        "sql log wnd", window ? GTK_WINDOW(window) : nullptr,
        static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        tr({"设置", "set", "設置"}), GTK_RESPONSE_OK, tr({"取消", "cancel", "取消"}),
        GTK_RESPONSE_CANCEL, nullptr);
    vbox1_rename = gtk_vbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), vbox1_rename, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(vbox1_rename),
                       gtk_label_new(tr({"设置别名", "set alias", "設置別名"})), FALSE, FALSE, 10);
    edit1_rename = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(edit1_rename), dotted(ip).c_str());
    gtk_editable_set_editable(GTK_EDITABLE(edit1_rename), FALSE);
    labelled_row(vbox1_rename, "ip  ", edit1_rename);
    edit2_rename = gtk_entry_new();
    labelled_row(vbox1_rename, tr({"别名", "alias", "別名"}), edit2_rename);
    gtk_window_resize(GTK_WINDOW(dialog), 400, 300);
    gtk_widget_show_all(dialog);

    int response = run_dialog(GTK_DIALOG(dialog));
    std::string text = gtk_entry_get_text(GTK_ENTRY(edit2_rename));
    gtk_widget_destroy(dialog);
    vbox1_rename = edit1_rename = edit2_rename = nullptr;
    if (response != GTK_RESPONSE_CANCEL)
        apply_alias(ip, text);
}
