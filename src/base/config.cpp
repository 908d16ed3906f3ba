#include "base/config.h"

#include "base/atomic_file.h"
#include "base/utf8_cut.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

config_info_ save_info {};

void config_set_field(char (&field)[100], std::string_view text)
{
    std::memset(field, 0, sizeof field);
    std::size_t n = utf8_cut_length(text, 98);
    text.copy(field, n);
}

namespace {

// Reads up to `size` bytes; returns the count or -1.
long read_up_to(const char* path, char* buf, std::size_t size, long* file_size)
{
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st { };
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return -1;
    }
    *file_size = st.st_size;
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, buf + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return -1;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return static_cast<long>(got);
}

}  // namespace

int config_read_startup(const char* path, config_info_& info)
{
    std::memset(info.user, 0, sizeof info.user);
    std::memset(info.pass, 0, sizeof info.pass);
    std::memset(info.ip, 0, sizeof info.ip);
    std::memset(info.sql_port, 0, sizeof info.sql_port);

    char buf[sizeof(config_info_)] = {};
    long file_size = 0;
    long got = read_up_to(path, buf, sizeof buf, &file_size);
    if (got <= 0)
        return -1;
    std::memcpy(&info, buf, sizeof buf);
    return 0;
}

int config_read_exact(const char* path, config_info_& info)
{
    std::memset(&info, 0, sizeof info);
    char buf[sizeof(config_info_)] = {};
    long file_size = 0;
    long got = read_up_to(path, buf, sizeof buf, &file_size);
    if (got != static_cast<long>(sizeof buf) || file_size != static_cast<long>(sizeof buf))
        return -1;
    std::memcpy(&info, buf, sizeof buf);
    return 0;
}

int config_write(const char* path, const config_info_& info)
{
    // The password is in clear: only the owner may read the file.
    return replace_file_atomically(path, &info, sizeof info, 0600);
}
