// Reads a workbook back with python3-xlrd (support/read_xls.py), so tests
// compare what another program finds in it, cell by cell.
#pragma once

#include <glib.h>

#include <sstream>
#include <string>
#include <vector>

#ifndef SYSTEM_PYTHON3
#define SYSTEM_PYTHON3 "/usr/bin/python3"
#endif

struct xls_sheet {
    bool ok = false;
    std::string error;  // what xlrd said when it could not read the file
    int sheets = 0;
    std::vector<std::vector<std::string>> rows;  // first sheet; empty cells are ""
};

inline std::string unhex(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

inline xls_sheet read_xls(const std::string& path)
{
    xls_sheet s;
    const std::string script = SOURCE_DIR "/tests/support/read_xls.py";
    const char* argv[] = {SYSTEM_PYTHON3, script.c_str(), path.c_str(), nullptr};
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint status = 0;
    GError* error = nullptr;
    if (!g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_DEFAULT, nullptr,
                      nullptr, &out, &err, &status, &error)) {
        s.error = error->message;
        g_error_free(error);
        return s;
    }
    std::istringstream lines(out ? out : "");
    s.error = err ? err : "";
    g_free(out);
    g_free(err);
    if (!g_spawn_check_wait_status(status, nullptr))
        return s;
    std::string line;
    std::size_t nrows = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("sheets ", 0) == 0) {
            s.sheets = std::stoi(line.substr(7));
        } else if (line.rfind("rows ", 0) == 0) {
            nrows = std::stoul(line.substr(5));
        } else {
            std::vector<std::string> row;
            std::istringstream cells(line);
            std::string c;
            while (cells >> c)
                row.push_back(c == "-" ? "" : unhex(c));
            s.rows.push_back(row);
        }
    }
    s.ok = s.rows.size() == nrows;
    return s;
}
