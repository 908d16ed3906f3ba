// The alias file "rename" of any bytes and length: only a file of exactly
// 80,800 bytes replaces the table, whose aliases then read within their
// records; a table written reads back byte for byte; the editing rule keeps
// its promises whatever the alias bytes.

#include <glib.h>

#include <cstring>
#include <fstream>
#include <string>

#include "browse/rename_table.h"
#include "fuzz_check.h"

namespace {

std::string g_file;

void check_editing(std::string_view alias, uint32_t ip)
{
    const int pos = set_rename(ip, alias);
    if (pos < 0)
        return;
    std::string_view shown;
    const std::string_view text = alias.substr(0, alias.find('\0'));
    if (!text.empty() && ip != RENAME_NO_IP) {
        FUZZ_CHECK(name_save[pos].ip == ip);
        const std::string_view stored = rename_name(pos);
        FUZZ_CHECK(stored.size() <= RENAME_NAME_MAX && text.starts_with(stored));
    } else {
        FUZZ_CHECK(name_save[pos].ip == RENAME_NO_IP);
    }
    rename_shown(ip, shown);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gchar* dir = g_dir_make_tmp("rename-fuzz-XXXXXX", nullptr);
    g_file = std::string(dir) + "/rename";
    g_free(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A short input stands for a whole file: repeated to 80,800 bytes.
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!bytes.empty() && bytes[0] == 'R' && size < RENAME_FILE_SIZE) {
        std::string whole;
        while (whole.size() < RENAME_FILE_SIZE)
            whole += bytes.substr(1).empty() ? std::string(1, '\0') : bytes.substr(1);
        bytes = whole.substr(0, RENAME_FILE_SIZE);
    }
    std::ofstream(g_file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    clear_rename_table();
    const int rc = read_rename_file(g_file.c_str());
    FUZZ_CHECK(rc == (bytes.size() == RENAME_FILE_SIZE ? 0 : -1));
    for_each_shown_rename([](uint32_t ip, std::string_view name) {
        FUZZ_CHECK(ip != RENAME_NO_IP && name.size() <= sizeof name_store_::name);
        std::string_view shown;
        FUZZ_CHECK(rename_shown(ip, shown));
    });
    if (rc == 0) {
        FUZZ_CHECK(write_rename_file(g_file.c_str()) == 0);
        std::ifstream in(g_file, std::ios::binary);
        std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        FUZZ_CHECK(back == bytes);
    }
    uint32_t ip = 0;
    std::memcpy(&ip, bytes.data(), std::min<size_t>(bytes.size(), 4));
    check_editing(std::string_view(bytes).substr(std::min<size_t>(bytes.size(), 4), 600), ip);
    return 0;
}
