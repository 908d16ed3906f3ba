// The "config" readers over a file of any bytes and length: the start-up
// reader keeps to the record, the pop-up reader takes exactly 500 bytes, and
// the UDP port field reads as a port; a record written reads back the same.

#include <glib.h>

#include <cstring>
#include <fstream>
#include <string>

#include "base/config.h"
#include "fuzz_check.h"

namespace {

std::string g_file;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gchar* dir = g_dir_make_tmp("config-fuzz-XXXXXX", nullptr);
    g_file = std::string(dir) + "/config";
    g_free(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::ofstream(g_file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(size));

    config_info_ info;
    std::memset(&info, 0x55, sizeof info);
    const int startup = config_read_startup(g_file.c_str(), info);
    FUZZ_CHECK(startup == (size == 0 ? -1 : 0));
    if (startup == 0)
        FUZZ_CHECK(std::memcmp(&info, bytes.data(), std::min(size, sizeof info)) == 0);

    const int exact = config_read_exact(g_file.c_str(), info);
    FUZZ_CHECK(exact == (size == sizeof info ? 0 : -1));

    const uint16_t port = config_udp_port(bytes);
    FUZZ_CHECK(port != 0);

    // Entries cut at 98 bytes and a character boundary; written and read back
    // (for inputs starting with 'W' only: the write goes to the disk).
    if (size == 0 || data[0] != 'W')
        return 0;
    config_info_ out {};
    config_set_field(out.user, bytes);
    config_set_field(out.udp_port, bytes.substr(std::min<size_t>(size, 7)));
    FUZZ_CHECK(std::strlen(out.user) <= 98 && bytes.starts_with(out.user));
    FUZZ_CHECK(config_write(g_file.c_str(), out) == 0);
    config_info_ back {};
    FUZZ_CHECK(config_read_exact(g_file.c_str(), back) == 0);
    FUZZ_CHECK(std::memcmp(&out, &back, sizeof out) == 0);
    return 0;
}
