// Display texts of stored times and IPv4 addresses, and the working directory.
#pragma once

#include <cstddef>

// Stored times are Unix time minus 28,800 seconds. The text is the local
// wall-clock time of that moment, "YYYY-MM-DD hh:mm:ss" (under UTC+8 the
// stored value plus 16 hours).
char* ConvertTime(unsigned int time1);                                // static buffer
void ConvertTime_r(unsigned int time1, char* buf, std::size_t size);  // caller's buffer

// "%u.%u.%u.%u" from the highest byte to the lowest (source addresses).
char* convert_ip(unsigned int ip);
void convert_ip_r(unsigned int ip, char* buf, std::size_t size);

// "%u.%u.%u.%u" from the lowest byte to the highest (router addresses).
char* convert_ip_2(unsigned int ip);
void convert_ip_2_r(unsigned int ip, char* buf, std::size_t size);

// The current working directory as UTF-8, any length; the next call
// overwrites the text.
const char* GetExeDir();
