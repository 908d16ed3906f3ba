#include "mail_store.h"

#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace tcp {

namespace {

std::atomic<uint64_t> g_sequence {0};

// Renames without replacing: false with errno EEXIST when `to` exists.
bool rename_new(const char* from, const char* to)
{
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without RENAME_NOREPLACE: a hard link fails on an
    // existing name just the same.
    if (link(from, to) != 0)
        return false;
    unlink(from);
    return true;
}

std::string mail_name(uint64_t sequence)
{
    std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    char name[64];
    std::snprintf(name, sizeof name, "%s-%06llu.eml", stamp,
                  static_cast<unsigned long long>(sequence));
    return name;
}

}  // namespace

std::string dotted_router(uint32_t dwip)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", dwip & 0xFF, (dwip >> 8) & 0xFF,
                  (dwip >> 16) & 0xFF, (dwip >> 24) & 0xFF);
    return text;
}

mail_file::mail_file(int fd, std::string dir, std::string temp_path)
    : fd_(fd), dir_(std::move(dir)), temp_path_(std::move(temp_path))
{ }

mail_file::~mail_file()
{
    if (fd_ >= 0)
        close(fd_);
    if (!temp_path_.empty())
        unlink(temp_path_.c_str());
}

bool mail_file::write(std::string_view bytes)
{
    while (!failed_ && !bytes.empty()) {
        ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failed_ = true;
        else
            bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return !failed_;
}

bool mail_file::commit(std::string& final_name)
{
    if (failed_ || fdatasync(fd_) != 0 || close(fd_) != 0) {
        fd_ = -1;
        return false;
    }
    fd_ = -1;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string name = mail_name(++g_sequence);
        std::string path = dir_ + "/" + name;
        if (rename_new(temp_path_.c_str(), path.c_str())) {
            temp_path_.clear();
            final_name = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

std::unique_ptr<mail_file> mail_store::begin(uint32_t dwip) const
{
    std::string dir = root_ + "/" + dotted_router(dwip);
    if (g_mkdir_with_parents(dir.c_str(), 0755) != 0)
        return nullptr;
    // Hidden: the mail store lists no name that starts with a dot.
    std::string temp = dir + "/.incoming-XXXXXX";
    int fd = g_mkstemp_full(temp.data(), O_RDWR | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<mail_file>(new mail_file(fd, std::move(dir), std::move(temp)));
}

}  // namespace tcp
