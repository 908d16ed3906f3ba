// Configuration records ("config") as the tests write and compare them.
#pragma once

#include "base/config.h"

#include <string>

inline config_info_ config_of(const std::string& ip, const std::string& user,
                              const std::string& pass, const std::string& sql_port,
                              const std::string& udp_port = "")
{
    config_info_ info {};
    config_set_field(info.ip, ip);
    config_set_field(info.user, user);
    config_set_field(info.pass, pass);
    config_set_field(info.sql_port, sql_port);
    config_set_field(info.udp_port, udp_port);
    return info;
}

// The 500 bytes of a record, as the file holds them.
inline std::string bytes_of(const config_info_& info)
{
    return std::string(reinterpret_cast<const char*>(&info), sizeof info);
}
