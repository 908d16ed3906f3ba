// The start-up connection loop: it needs the settings dialog, so it lives
// with the windows.
#include "app/mysql_init.h"

#include "storage/mysql_ctrl.h"

#include "base/config.h"
#include "base/language.h"
#include "gui/message_box.h"
#include "settings/sql_pass_wnd.h"

#include <cstdlib>

void init_mysql()
{
    for (;;) {
        // After a failed save "config" still holds the old settings.
        if (!config_save_failed)
            read_config();
        if (connect_mysql(settings_from_config(save_info)) == 0)
            break;
        MessageBox_(tr_sys({"不能连接数据库，请检查数据库的ip地址和密码",
                            "can not connect to mysql ,please set the sql ip and password",
                            "不能連接數據庫，請檢查數據庫的IP地址和密碼"}));
        create_password();
        if (b_exit == 88)
            std::exit(0);
    }
    open_schema();
    connect_mysql_2(settings_from_config(save_info));
    exe_sql_2("use LogDB");
}
