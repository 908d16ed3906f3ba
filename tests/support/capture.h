// What a file descriptor (1 or 2) receives while a function runs.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include <unistd.h>

inline std::string output_of(int fd, const std::function<void()>& f)
{
    std::fflush(nullptr);
    std::FILE* tmp = std::tmpfile();
    int saved = dup(fd);
    dup2(fileno(tmp), fd);
    f();
    std::fflush(nullptr);
    dup2(saved, fd);
    close(saved);
    std::rewind(tmp);
    std::string out;
    for (int ch; (ch = std::fgetc(tmp)) != EOF;)
        out += static_cast<char>(ch);
    std::fclose(tmp);
    return out;
}
