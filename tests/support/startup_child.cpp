#include "support/startup_child.h"

#include "app/main.h"
#include "support/config_record.h"

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

void write_test_db_config()
{
    if (const char* port = std::getenv("LOGSERVER_TEST_DB_PORT"))
        config_write(CONFIG_FILE, config_of("127.0.0.1", "root", "", port));
}

void start_up_and_exit(void (*on_running)())
{
    alarm(60);
    static void (*running)();
    running = on_running;
    g_idle_add(
        +[](gpointer) -> gboolean {
            if (running)
                running();
            return FALSE;
        },
        nullptr);
    char name[] = "logserver";
    char* argv[] = {name, nullptr};
    const int status = logserver_main(1, argv);
    std::fflush(nullptr);
    std::exit(status);
}
