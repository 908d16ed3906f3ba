#include "email_file_module.h"

#include "base/mail_text.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The table handed out; always ends with an empty record.
std::vector<directory_name_> g_table(1);
std::vector<int> g_counts;

// Dotted IPv4 address in dwIP form; false when `text` is none.
bool parse_ip(const std::string& text, uint32_t* ip)
{
    unsigned a[4];
    char tail;
    int n = 0;
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%n%c", &a[0], &a[1], &a[2], &a[3], &n, &tail) !=
        4)
        return false;
    if (static_cast<std::size_t>(n) != text.size())
        return false;
    for (unsigned v : a)
        if (v > 255)
            return false;
    // Digits only: no signs or blanks that sscanf would accept.
    for (char c : text)
        if (c != '.' && (c < '0' || c > '9'))
            return false;
    *ip = a[0] | (a[1] << 8) | (a[2] << 16) | (a[3] << 24);
    return true;
}

struct mail_file {
    std::string name;
    utf16_string wide;
    gint64 mtime_ns;
};

// Newest first; equal times by name, the later name first.
bool newer(const mail_file& a, const mail_file& b)
{
    if (a.mtime_ns != b.mtime_ns)
        return a.mtime_ns > b.mtime_ns;
    return a.name > b.name;
}

std::vector<mail_file> list_mails(const std::string& dir)
{
    std::vector<mail_file> files;
    GDir* d = g_dir_open(dir.c_str(), 0, nullptr);
    if (!d)
        return files;
    while (const gchar* name = g_dir_read_name(d)) {
        if (name[0] == '.')
            continue;
        std::string path = dir + "/" + name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        utf16_string wide = file_name_to_utf16(name);
        if (wide.empty() || wide.size() >= mail_name_units)
            continue;
        files.push_back({name, std::move(wide),
                         static_cast<gint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec});
    }
    g_dir_close(d);
    std::size_t keep = std::min(files.size(), mail_names_per_dir);
    std::partial_sort(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(keep), files.end(),
                      newer);
    files.resize(keep);
    return files;
}

}  // namespace

extern "C" {

int test_4(...) { return 0; }

void Get_Email_Name(void)
{
    struct router {
        uint32_t ip;
        std::string name;
    };
    std::vector<router> routers;
    if (GDir* d = g_dir_open("mail_save", 0, nullptr)) {
        while (const gchar* name = g_dir_read_name(d)) {
            uint32_t ip;
            std::string path = std::string("mail_save/") + name;
            if (parse_ip(name, &ip) && g_file_test(path.c_str(), G_FILE_TEST_IS_DIR))
                routers.push_back({ip, name});
        }
        g_dir_close(d);
    }
    // Address order: first octet most significant.
    std::sort(routers.begin(), routers.end(), [](const router& a, const router& b) {
        return GUINT32_SWAP_LE_BE(a.ip) < GUINT32_SWAP_LE_BE(b.ip);
    });

    std::vector<directory_name_> table(routers.size() + 1);  // zero-filled
    std::vector<int> counts(routers.size(), 0);
    for (std::size_t i = 0; i < routers.size(); ++i) {
        directory_name_& rec = table[i];
        utf16_copy(rec.DirectoryName, mail_dir_units, utf16_from_utf8(routers[i].name));
        rec.int_ip = routers[i].ip;
        std::vector<mail_file> files = list_mails("mail_save/" + routers[i].name);
        for (std::size_t k = 0; k < files.size(); ++k)
            utf16_copy(rec.m_email_name[k].ch_name, mail_name_units, files[k].wide);
        counts[i] = static_cast<int>(files.size());
    }
    g_table.swap(table);
    g_counts.swap(counts);
}

char* GetFileName_buf(void) { return reinterpret_cast<char*>(g_table.data()); }

int ChIp_to_int_unicode_turn(gunichar2* dir_name)
{
    if (!dir_name)
        return 0;
    uint32_t ip;
    if (!parse_ip(utf16_to_utf8(dir_name), &ip))
        return 0;
    return static_cast<int>(ip);
}

int FindPosByIp_interface(int ip, int* pos)
{
    int found = -1;
    for (std::size_t i = 0; i + 1 < g_table.size(); ++i) {
        if (g_table[i].int_ip == static_cast<uint32_t>(ip)) {
            found = static_cast<int>(i);
            break;
        }
    }
    if (pos)
        *pos = found;
    return found >= 0 ? 0 : -1;
}

int GetFileCounterByIP_interface(int pos)
{
    if (pos < 0 || static_cast<std::size_t>(pos) >= g_counts.size())
        return 0;
    return g_counts[static_cast<std::size_t>(pos)];
}

}  // extern "C"
