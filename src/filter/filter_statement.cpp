#include "filter/filter_statement.h"

#include "storage/mysql_ctrl.h"

#include <string_view>

namespace {

bool ascii_alnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Value of the leading digits of a part; 256 stands for anything above 255.
unsigned part_value(std::string_view part)
{
    unsigned v = 0;
    for (char c : part) {
        if (c < '0' || c > '9')
            break;
        v = v * 10 + static_cast<unsigned>(c - '0');
        if (v > 255)
            return 256;
    }
    return v;
}

std::string quoted(std::string_view text, MYSQL* conn) { return "'" + sql_text(conn, text) + "'"; }

}  // namespace

bool pattern_in_force(std::string_view text) { return !text.empty() && ascii_alnum(text[0]); }

std::string user_condition(std::string_view user, MYSQL* conn)
{
    if (!pattern_in_force(user))
        return "";
    return " and cLogUser REGEXP " + quoted(user, conn) + " ";
}

std::string source_ip_condition(std::string_view source_ip)
{
    std::string_view parts[4];
    std::string_view rest = source_ip;
    for (int i = 0; i < 3; ++i) {
        std::size_t dot = rest.find('.');
        if (dot == std::string_view::npos)
            return "";
        parts[i] = rest.substr(0, dot);
        rest.remove_prefix(dot + 1);
    }
    parts[3] = rest;
    unsigned value = 0;
    for (std::string_view part : parts) {
        unsigned byte = part_value(part);
        if (byte > 255)
            return " and FALSE ";
        value = value << 8 | byte;
    }
    return " and dwSourceIP='" + std::to_string(value) + "' ";
}

std::string start_condition(bool on, unsigned start)
{
    return on ? "and (time >= '" + std::to_string(start) + "') " : "";
}

std::string end_condition(bool on, unsigned end)
{
    return on ? "and (time <= '" + std::to_string(end) + "') " : "";
}

std::string content_condition(std::string_view content, MYSQL* conn)
{
    if (!pattern_in_force(content))
        return "";
    const std::string q = quoted(content, conn);
    return " and (cLogContent_chinese REGEXP " + q + " or cLogContent_fanti REGEXP " + q +
        " or cLogContent_en REGEXP " + q + " )";
}

std::string filter_statement(const filter_inputs& in, MYSQL* conn)
{
    std::string out = in.base;
    for (const std::string& part :
         {user_condition(in.user, conn), source_ip_condition(in.source_ip),
          start_condition(in.start_on, in.start), end_condition(in.end_on, in.end),
          content_condition(in.content, conn)})
        out.append(" ").append(part);
    return out;
}

std::string filter_delete_statement(const std::string& statement, unsigned long long max_id)
{
    constexpr std::string_view HEAD = "select * ";
    if (statement.compare(0, HEAD.size(), HEAD) != 0)
        return "";
    return "delete   " + statement.substr(HEAD.size()) +
        " and (id_inc <= " + std::to_string(max_id) + ")";
}
