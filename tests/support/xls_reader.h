// Reads a workbook back with python3-xlrd (support/read_xls.py), so tests
// compare what another program finds in it, cell by cell.
#pragma once

#include <glib.h>

#include <sstream>
#include <string>
#include <vector>

struct xls_sheet {
    bool ok = false;
    std::string error;                           // what xlrd said when it could not read the file
    std::vector<std::vector<std::string>> rows;  // first sheet; empty cells are ""
};

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
    s.ok = g_spawn_check_wait_status(status, nullptr);
    g_free(out);
    g_free(err);
    for (std::string line; s.ok && std::getline(lines, line);) {
        std::vector<std::string>& row = s.rows.emplace_back();
        std::istringstream cells(line);
        for (std::string hex; cells >> hex;) {
            row.emplace_back();
            for (std::size_t i = 0; hex != "-" && i + 1 < hex.size(); i += 2)
                row.back() += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        }
    }
    return s;
}
