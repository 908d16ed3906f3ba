#include "app/language_switch.h"

#include "base/language.h"
#include "app/main.h"
#include "app/menus.h"
#include "app/toolbar.h"
#include "browse/button_wnd_list.h"
#include "browse/list_data.h"
#include "browse/menu_reverse_source_ip.h"
#include "browse/popup_menu.h"
#include "browse/tree2.h"
#include "disk/disk_info.h"
#include "email/button_wnd_email.h"
#include "email/email_top_wnd.h"
#include "email/menu_popup_email_attach.h"
#include "filter/calendar.h"
#include "filter/filter_wnd_2.h"
#include "filter/show_filter_num_wnd.h"

namespace {

using relabel_fn = void (*)();

// Runs the relabel function of a window that has one per language.
void relabel(unsigned lang, relabel_fn chinese, relabel_fn english, relabel_fn fanti)
{
    (lang == 0 ? chinese : lang == 1 ? english : fanti)();
}

void set_window_title(unsigned lang)
{
    if (!window)
        return;
    static constexpr tr3 TITLE {"日志服务器", "syslog", "日誌服務器"};
    gtk_window_set_title(GTK_WINDOW(window), tr(TITLE, lang));
}

}  // namespace

void switch_language(unsigned lang)
{
    if (lang > 2)
        return;
    // 1. The index every message reads.
    language_nu = lang;
    // 2. Menu bar.
    change_language_menu(lang);
    // 3. Device tree.
    change_language_tree(lang);
    // 4. Toolbar.
    change_language_toolbar(lang);
    // 5. Log list columns.
    change_language_list(lang);
    // 6. Filter panel and log list buttons.
    relabel(lang, set_lan_chinese_filter, set_lan_en_filter, set_lan_fanti_filter);
    relabel(lang, set_lan_chinese_bt_list, set_lan_en_bt_list, set_lan_fanti_bt_list);
    // 7. Hour, minute and second labels of the date pickers.
    change_language_calendar(lang);
    // 8. E-mail header list and attachment list columns.
    change_language_email_columns(lang);
    // 9. E-mail buttons, disk monitor and filter count.
    relabel(lang, set_lan_chinese_bt_email, set_lan_en_bt_email, set_lan_fanti_bt_email);
    relabel(lang, change_chinese_disk, change_en_disk, change_fanti_disk);
    relabel(lang, change_chinese_filter_num, change_en_filter_num, change_fanti_filter_num);
    // 10. Main window title.
    set_window_title(lang);
    // 11. Pop-up menus of the tree, of the record list and of the
    // attachment list.
    relabel(lang, change_chinese_popup_menu, change_en_popup_menu, change_fanti_popup_menu);
    relabel(lang, change_chinese_popup_reverse, change_en_popup_reverse,
            change_fanti_popup_reverse);
    relabel(lang, change_chinese_popup_email_attach, change_en_popup_email_attach,
            change_fanti_popup_email_attach);
}

void change_chinese(GtkWidget*, gpointer) { switch_language(0); }
void change_englist(GtkWidget*, gpointer) { switch_language(1); }
void change_fanti(GtkWidget*, gpointer) { switch_language(2); }
