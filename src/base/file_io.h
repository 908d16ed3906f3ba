// Whole-buffer reads and writes on a file descriptor: each call goes on after
// interrupted or short transfers until every byte is moved.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include <sys/types.h>
#include <unistd.h>

namespace file_io_detail {

// Calls `step(p, remaining, done)` until `n` bytes are moved; false when a
// step moves nothing (end of file, disk full) or fails other than by EINTR.
template <typename Byte, typename Step> bool move_all(Byte* p, std::size_t n, Step step)
{
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = step(p + done, n - done, done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        done += static_cast<std::size_t>(r);
    }
    return true;
}

}  // namespace file_io_detail

inline bool write_all(int fd, const void* data, std::size_t size)
{
    return file_io_detail::move_all(
        static_cast<const char*>(data), size,
        [fd](const char* p, std::size_t k, std::size_t) { return ::write(fd, p, k); });
}

inline bool pread_all(int fd, void* buf, std::size_t n, uint64_t off)
{
    return file_io_detail::move_all(static_cast<char*>(buf), n,
                                    [fd, off](char* p, std::size_t k, std::size_t done) {
                                        return ::pread(fd, p, k, static_cast<off_t>(off + done));
                                    });
}

inline bool pwrite_all(int fd, const void* buf, std::size_t n, uint64_t off)
{
    return file_io_detail::move_all(static_cast<const char*>(buf), n,
                                    [fd, off](const char* p, std::size_t k, std::size_t done) {
                                        return ::pwrite(fd, p, k, static_cast<off_t>(off + done));
                                    });
}
