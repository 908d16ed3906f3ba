#include "browse/rename_table.h"

#include "base/atomic_file.h"
#include "base/utf8_cut.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

name_store_ name_save[RENAME_RECORDS];

namespace {

constexpr std::size_t RECORD_SIZE = sizeof(name_store_);

void put_u32_le(unsigned char* out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t get_u32_le(const unsigned char* in)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    return v;
}

// Reads the whole file when it is exactly `size` bytes long.
bool read_exactly(const char* path, unsigned char* buf, std::size_t size)
{
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st { };
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<std::size_t>(st.st_size) == size;
    std::size_t got = 0;
    while (ok && got < size) {
        ssize_t n = ::read(fd, buf + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            got += static_cast<std::size_t>(n);
    }
    // Longer than it claimed (growing while read): not the file we expect.
    char extra;
    if (ok && ::read(fd, &extra, 1) != 0)
        ok = false;
    ::close(fd);
    return ok;
}

}  // namespace

void clear_rename_table()
{
    for (auto& r : name_save) {
        r.ip = RENAME_NO_IP;
        std::memset(r.name, 0, sizeof r.name);
    }
}

bool rename_record_empty(int pos)
{
    if (pos < 0 || pos >= RENAME_RECORDS)
        return true;
    const char* n = name_save[pos].name;
    return n[0] == 0 && n[1] == 0 && n[2] == 0 && n[3] == 0;
}

int get_pos_by_ip(std::uint32_t ip)
{
    for (int i = 0; i < RENAME_RECORDS; ++i)
        if (name_save[i].ip == ip)
            return i;
    return -1;
}

int get_empty_pos()
{
    for (int i = 0; i < RENAME_RECORDS; ++i)
        if (rename_record_empty(i))
            return i;
    return -1;
}

int read_rename_file(const char* path)
{
    std::vector<unsigned char> buf(RENAME_FILE_SIZE);
    if (!read_exactly(path, buf.data(), buf.size()))
        return -1;
    for (int i = 0; i < RENAME_RECORDS; ++i) {
        const unsigned char* rec = buf.data() + static_cast<std::size_t>(i) * RECORD_SIZE;
        name_save[i].ip = get_u32_le(rec);
        std::memcpy(name_save[i].name, rec + 4, sizeof name_save[i].name);
    }
    return 0;
}

int write_rename_file(const char* path)
{
    std::vector<unsigned char> buf(RENAME_FILE_SIZE);
    for (int i = 0; i < RENAME_RECORDS; ++i) {
        unsigned char* rec = buf.data() + static_cast<std::size_t>(i) * RECORD_SIZE;
        put_u32_le(rec, name_save[i].ip);
        std::memcpy(rec + 4, name_save[i].name, sizeof name_save[i].name);
    }
    return replace_file_atomically(path, buf.data(), buf.size());
}

int set_rename(std::uint32_t ip, std::string_view alias)
{
    int pos = get_pos_by_ip(ip);
    if (pos < 0)
        pos = get_empty_pos();
    if (pos < 0)
        return -1;
    name_store_& r = name_save[pos];
    if (alias.empty()) {
        r.ip = RENAME_NO_IP;
        return pos;
    }
    // A text starting with a zero byte would leave the record empty; the
    // entry never gives one, but the rule must not break the unbroken run.
    std::string_view text = alias.substr(0, alias.find('\0'));
    if (text.empty()) {
        r.ip = RENAME_NO_IP;
        return pos;
    }
    std::memset(r.name, 0, sizeof r.name);
    utf8_copy(r.name, sizeof r.name, text);
    r.ip = ip;
    return pos;
}

std::string_view rename_name(int pos)
{
    if (pos < 0 || pos >= RENAME_RECORDS)
        return {};
    const char* n = name_save[pos].name;
    return std::string_view(n, ::strnlen(n, sizeof name_save[pos].name));
}

bool rename_shown(std::uint32_t ip, std::string_view& name_out)
{
    bool found = false;
    for_each_shown_rename([&](std::uint32_t rip, std::string_view name) {
        if (rip == ip) {
            name_out = name;
            found = true;
        }
    });
    return found;
}
