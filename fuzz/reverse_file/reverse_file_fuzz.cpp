// The reversed-source file "reverse" of any bytes and length: loaded only
// when its length is a multiple of 300, each key within its record; written
// back it loads to the same list; keys of record texts keep to their limit.

#include <glib.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "fuzz_check.h"
#include "storage/reverse_source.h"

namespace {

std::string g_file;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gchar* dir = g_dir_make_tmp("reverse-fuzz-XXXXXX", nullptr);
    g_file = std::string(dir) + "/reverse";
    g_free(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::ofstream(g_file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(size));
    const int rc = read_reverse_file(g_file.c_str());
    const bool whole = size > 0 && size % REVERSE_RECORD_SIZE == 0;
    FUZZ_CHECK(rc == (whole ? 0 : -1));
    const std::vector<std::string> entries = reverse_list_entries();
    FUZZ_CHECK(entries.size() <= (whole ? size / REVERSE_RECORD_SIZE : 0));
    FUZZ_CHECK(whole == !entries.empty());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& e = entries[i];
        FUZZ_CHECK(e.size() <= REVERSE_KEY_MAX && e.find('\0') == std::string::npos);
        FUZZ_CHECK(Find_list(e.c_str()) != nullptr);
        // Each key once, as the menu keeps the list.
        FUZZ_CHECK(std::find(entries.begin() + i + 1, entries.end(), e) == entries.end());
    }
    if (rc == 0) {
        FUZZ_CHECK(write_reverse_file(g_file.c_str()) == 0);
        FUZZ_CHECK(read_reverse_file(g_file.c_str()) == 0);
        const std::vector<std::string> back = reverse_list_entries();
        // Entries cut at a character boundary when written.
        FUZZ_CHECK(back.size() <= entries.size());
        for (const std::string& b : back)
            FUZZ_CHECK(std::any_of(entries.begin(), entries.end(),
                                   [&b](const std::string& e) { return e.starts_with(b); }));
    }
    const std::string key = reverse_key(bytes);
    FUZZ_CHECK(key.size() <= REVERSE_KEY_MAX && key.find(' ') == std::string::npos);
    const std::vector<std::string> now = reverse_list_entries();
    const bool had = std::find(now.begin(), now.end(), key) != now.end();
    FUZZ_CHECK(toggle_reverse_key(key) == (had ? 0 : 1));
    if (key.find('\0') == std::string::npos)
        FUZZ_CHECK(source_is_reversed(key.c_str()) == !had);
    release_list();
    return 0;
}
