#include "receive/warnat.h"

std::string repair_warnat(std::string_view text)
{
    std::size_t b1 = text.find(' ');
    std::size_t b2 = b1 == std::string_view::npos ? b1 : text.find(' ', b1 + 1);
    std::size_t b3 = b2 == std::string_view::npos ? b2 : text.find(' ', b2 + 1);
    if (b3 == std::string_view::npos)
        return std::string(text);

    std::string_view first = text.substr(0, b1);
    std::string_view second = text.substr(b1 + 1, b2 - b1 - 1);
    std::string_view third = text.substr(b2 + 1, b3 - b2 - 1);
    std::string_view rest = text.substr(b3 + 1);

    // "%s+' %s '+' %s '" of "first second", third and rest, then the blank
    // between the first and second word becomes '+'.
    std::string out;
    out.reserve(text.size() + 8);
    out.append(first).append("+").append(second);
    out.append("+' ").append(third).append(" '+' ").append(rest).append(" '");
    return out;
}

bool has_warnat(std::string_view text)
{
    return text.find("syslog.warnat") != std::string_view::npos;
}
