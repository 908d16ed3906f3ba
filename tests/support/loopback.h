// Routers played by loopback addresses (127.0.0.2 and up need no set-up on
// Linux) and a working directory running the program's modules.
#pragma once

#include "base/config.h"
#include "support/free_port.h"
#include "support/test_db.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

// Links the run directory's files into `dir` but its settings and what a run
// leaves; "config" names the test database and `udp_port`, "smtp_port" a free one.
inline bool prepare_run_dir(const std::filesystem::path& dir, int udp_port)
{
    static const std::set<std::string> own {"config",       "mysql-data", "language_info.txt",
                                            "insert.spool", "udp.queue",  "smtp_port"};
    for (const auto& e : std::filesystem::directory_iterator(RUN_DIR))
        if (!own.contains(e.path().filename().string()))
            std::filesystem::create_symlink(e.path(), dir / e.path().filename());
    config_info_ info {};
    config_set_field(info.user, "root");
    config_set_field(info.ip, "127.0.0.1");
    config_set_field(info.sql_port, test_db_env("LOGSERVER_TEST_DB_PORT"));
    config_set_field(info.udp_port, std::to_string(udp_port));
    std::ofstream(dir / "smtp_port") << free_port() << '\n';
    return config_write(CONFIG_FILE, info) == 0;
}

inline sockaddr_in loopback_address(const char* dotted, int port = 0)
{
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, dotted, &a.sin_addr);
    return a;
}

// Sends one datagram to 127.0.0.1:`port` from the address `from`.
inline bool send_from(const char* from, int port, const std::string& bytes)
{
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in src = loopback_address(from);
    const sockaddr_in dst = loopback_address("127.0.0.1", port);
    const auto* to = reinterpret_cast<const sockaddr*>(&dst);
    const bool sent = bind(s, reinterpret_cast<const sockaddr*>(&src), sizeof src) == 0 &&
        sendto(s, bytes.data(), bytes.size(), 0, to, sizeof dst) ==
            static_cast<ssize_t>(bytes.size());
    close(s);
    return sent;
}

// One SMTP session delivering a mail from the address `from`: every reply.
inline std::string smtp_session_from(const char* from, int port, const std::string& subject)
{
    int s = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in src = loopback_address(from);
    const sockaddr_in dst = loopback_address("127.0.0.1", port);
    std::string replies;
    if (bind(s, reinterpret_cast<const sockaddr*>(&src), sizeof src) == 0 &&
        connect(s, reinterpret_cast<const sockaddr*>(&dst), sizeof dst) == 0) {
        const std::string session = "EHLO router\r\nMAIL FROM:<r@x>\r\nRCPT TO:<o@y>\r\nDATA\r\n"
                                    "Subject: " +
            subject + "\r\n\r\nbody\r\n.\r\nQUIT\r\n";
        send(s, session.data(), session.size(), MSG_NOSIGNAL);
        char buf[512];
        for (ssize_t n; (n = recv(s, buf, sizeof buf, 0)) > 0;)
            replies.append(buf, static_cast<std::size_t>(n));
    }
    close(s);
    return replies;
}
