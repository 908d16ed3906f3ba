// A stand-in xdg-open first on PATH: it waits until the test says "go", then
// writes the argument it was given to a file, so a test can see what was
// started and that the caller did not wait for it.
#pragma once

#include <glib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/scratch_dir.h"

class fake_opener {
public:
    fake_opener()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "opener-XXXXXX").string();
        dir_ = g_mkdtemp(tmpl.data());
        // Without "go" within 10 seconds it reports that the caller waited.
        std::ofstream(dir_ / "xdg-open") << "#!/bin/sh\nD='" << dir_.string() << "'\n"
                                         << R"(i=0
while [ ! -e "$D/go" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done
if [ -e "$D/go" ]; then printf '%s' "$1"; else printf 'caller waited'; fi > "$D/out.tmp"
printf '%s' "$#" > "$D/argc"
mv "$D/out.tmp" "$D/out"
)";
        std::filesystem::permissions(dir_ / "xdg-open", std::filesystem::perms::owner_all);
        old_path_ = g_getenv("PATH") ? g_getenv("PATH") : "";
        g_setenv("PATH", (dir_.string() + ":" + old_path_).c_str(), TRUE);
    }
    ~fake_opener()
    {
        g_setenv("PATH", old_path_.c_str(), TRUE);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    fake_opener(const fake_opener&) = delete;
    fake_opener& operator=(const fake_opener&) = delete;

    // Clears the previous run; call before starting the opener.
    void reset()
    {
        for (const char* name : {"go", "out", "argc"})
            std::filesystem::remove(dir_ / name);
    }

    // Lets the started opener go on and returns the argument it was given,
    // or "" when none ran within 15 seconds.
    std::string release_and_read()
    {
        std::ofstream(dir_ / "go") << "go";
        for (int i = 0; i < 300 && !std::filesystem::exists(dir_ / "out"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return read_file(dir_ / "out");
    }

    // Number of arguments the last opener got.
    std::string argc() const { return read_file(dir_ / "argc"); }

    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
    std::string old_path_;
};
