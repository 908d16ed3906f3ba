#include "base/other_func.h"

#include <cstdio>
#include <ctime>
#include <string>

#include <glib.h>

namespace {
char temp_time[50];
char temp_ip[50];
std::string m_dir;

// Offset between the stored time scale and Unix time.
constexpr long STORED_TIME_OFFSET = 28800;
}  // namespace

void ConvertTime_r(unsigned int time1, char* buf, std::size_t size)
{
    std::time_t t = static_cast<std::time_t>(time1) + STORED_TIME_OFFSET;
    std::tm local {};
    if (size == 0)
        return;
    if (!localtime_r(&t, &local) || std::strftime(buf, size, "%Y-%m-%d %H:%M:%S", &local) == 0)
        buf[0] = '\0';
}

char* ConvertTime(unsigned int time1)
{
    ConvertTime_r(time1, temp_time, sizeof temp_time);
    return temp_time;
}

void convert_ip_r(unsigned int ip, char* buf, std::size_t size)
{
    std::snprintf(buf, size, "%u.%u.%u.%u", (ip >> 24) & 0xFF, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF,
                  ip & 0xFF);
}

char* convert_ip(unsigned int ip)
{
    convert_ip_r(ip, temp_ip, sizeof temp_ip);
    return temp_ip;
}

void convert_ip_2_r(unsigned int ip, char* buf, std::size_t size)
{
    std::snprintf(buf, size, "%u.%u.%u.%u", ip & 0xFF, (ip >> 8) & 0xFF, (ip >> 16) & 0xFF,
                  (ip >> 24) & 0xFF);
}

char* convert_ip_2(unsigned int ip)
{
    convert_ip_2_r(ip, temp_ip, sizeof temp_ip);
    return temp_ip;
}

const char* GetExeDir()
{
    gchar* dir = g_get_current_dir();
    gchar* utf8 = g_filename_to_utf8(dir, -1, nullptr, nullptr, nullptr);
    m_dir = utf8 ? utf8 : dir;
    g_free(utf8);
    g_free(dir);
    return m_dir.c_str();
}
