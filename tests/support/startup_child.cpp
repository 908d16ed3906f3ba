#include "support/startup_child.h"

#include "support/config_record.h"
#include "app/main.h"
#include "gui/message_box.h"
#include "support/gui_support.h"
#include "support/scratch_dir.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

void write_test_db_config()
{
    const char* port = std::getenv("LOGSERVER_TEST_DB_PORT");
    if (!port)
        return;
    config_write(CONFIG_FILE, config_of("127.0.0.1", "root", "", port));
}

startup_result run_startup_child(const std::vector<int>& responses,
                                 std::function<void()> on_running, int timeout_seconds)
{
    scratch_dir dir;
    write_test_db_config();
    const std::string shown_file = (dir.path() / "shown.txt").string();

    pid_t pid = fork();
    if (pid == 0) {
        alarm(static_cast<unsigned>(timeout_seconds));
        std::size_t next = 0;
        set_dialog_answerer([&](GtkDialog* dialog) {
            std::ofstream(shown_file, std::ios::app) << dialog_message(dialog) << '\n';
            return next < responses.size() ? responses[next++] : GTK_RESPONSE_OK;
        });
        static std::function<void()> running;
        running = std::move(on_running);
        g_idle_add(
            +[](gpointer) -> gboolean {
                if (running)
                    running();
                return FALSE;
            },
            nullptr);
        char name[] = "logserver";
        char* argv[] = {name, nullptr};
        int status = logserver_main(1, argv);
        std::fflush(nullptr);
        _exit(status);
    }

    startup_result result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(shown_file);
    for (std::string line; std::getline(in, line);)
        result.shown.push_back(line);
    return result;
}
