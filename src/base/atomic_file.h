// Replacing a whole file so that a crash leaves either the old or the new
// contents, never a truncated file: the bytes go to a temporary file in the
// same folder, which is flushed to disk and then renamed over the file.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <string>

#include "base/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// 0 when `path` now holds exactly the `size` bytes at `data`; -1 when the
// temporary file cannot be created, written or renamed (the old file is then
// left as it was and the temporary file removed).
inline int replace_file_atomically(const char* path, const void* data, std::size_t size,
                                   mode_t mode = 0644)
{
    std::string tmp = std::string(path) + ".tmp";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        return -1;
    bool ok = write_all(fd, data, size) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || std::rename(tmp.c_str(), path) != 0) {
        ::unlink(tmp.c_str());
        return -1;
    }
    return 0;
}
