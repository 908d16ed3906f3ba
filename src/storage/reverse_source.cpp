#include "storage/reverse_source.h"

#include "base/atomic_file.h"
#include "base/utf8_cut.h"
#include "storage/mysql_ctrl.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <list>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// In order of addition. A std::list keeps every entry's text where it is
// while others are added or removed.
std::list<std::string> entries;

bool read_all(const char* path, std::string& out)
{
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    out.clear();
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

}  // namespace

std::string reverse_key(std::string_view content)
{
    std::string_view word = content.substr(0, content.find(' '));
    return utf8_cut(word, REVERSE_KEY_MAX);
}

const char* Find_list(const char* pChar)
{
    if (!pChar)
        return nullptr;
    for (const auto& e : entries)
        if (e == pChar)
            return e.c_str();
    return nullptr;
}

bool source_is_reversed(const char* first_word)
{
    if (!first_word || entries.empty())
        return false;
    return Find_list(reverse_key(first_word).c_str()) != nullptr;
}

int toggle_reverse_key(std::string_view key)
{
    for (auto it = entries.begin(); it != entries.end(); ++it)
        if (*it == key) {
            entries.erase(it);
            return 0;
        }
    entries.emplace_back(key);
    return 1;
}

std::vector<std::string> reverse_list_entries() { return {entries.begin(), entries.end()}; }

void release_list() { entries.clear(); }

int read_reverse_file(const char* path)
{
    release_list();
    std::string bytes;
    if (!read_all(path, bytes) || bytes.empty() || bytes.size() % REVERSE_RECORD_SIZE != 0)
        return -1;
    for (std::size_t at = 0; at < bytes.size(); at += REVERSE_RECORD_SIZE) {
        const char* rec = bytes.data() + at;
        std::string key(rec, ::strnlen(rec, REVERSE_KEY_MAX));
        // A key the file holds twice is taken once, as the menu keeps it:
        // otherwise switching it off would leave its second copy on.
        if (std::find(entries.begin(), entries.end(), key) == entries.end())
            entries.push_back(std::move(key));
    }
    return 0;
}

int write_reverse_file(const char* path)
{
    std::string bytes(entries.size() * REVERSE_RECORD_SIZE, '\0');
    std::size_t at = 0;
    for (const auto& e : entries) {
        // Entries come from reverse_key or the file, so they fit; cut anyway.
        std::size_t n = utf8_cut_length(e, REVERSE_KEY_MAX);
        std::memcpy(bytes.data() + at, e.data(), n);
        at += REVERSE_RECORD_SIZE;
    }
    return replace_file_atomically(path, bytes.data(), bytes.size());
}

std::string record_content_statement(unsigned id)
{
    return "select cLogContent from LogTab  where (id_inc = '" + std::to_string(id) + "') ";
}

int reverse_source_of_record(unsigned id, const char* path)
{
    if (exe_sql(record_content_statement(id).c_str()) != 0)
        return -1;
    store_result();
    if (GetResult() != 0)
        return -1;
    int added = toggle_reverse_key(reverse_key(m_row_text(0)));
    write_reverse_file(path);
    return added;
}
