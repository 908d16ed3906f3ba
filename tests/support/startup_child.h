// Runs the whole program start-up in a child process, inside a scratch
// working directory, with its dialogs answered by a script.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct startup_result {
    int exit_status = -1;            // exit code, or -1 when it did not exit normally
    std::vector<std::string> shown;  // texts of the dialogs, in order
};

// `responses` answer the dialogs in order (later ones get -5); `on_running`
// runs once on the main loop after start-up and may call into the program.
// The working directory gets a "config" for the test database when the test
// command provides one.
startup_result run_startup_child(const std::vector<int>& responses,
                                 std::function<void()> on_running, int timeout_seconds = 60);

// Writes a "config" for the test database into the current directory.
void write_test_db_config();
