// The whole program start-up, for the child process of an exit test.
#pragma once

// Runs the start-up in the current working directory and ends the process
// with its status; `on_running` runs once on the main loop after start-up.
[[noreturn]] void start_up_and_exit(void (*on_running)() = nullptr);

// Writes a "config" for the test database into the current directory.
void write_test_db_config();
