// Ports for the receivers under test, from below the ephemeral range (where
// a parallel test's outgoing connection could take a port before the receiver
// binds it), each locked by a file until the test process ends.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace free_port_detail {

constexpr int first = 20100;  // above the program's own defaults (20000, 20025)
constexpr int count = 9900;   // up to 29999, below the ephemeral range

inline bool bindable(int port, int type)
{
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

// The port's lock, held until the process ends; false when another holds it.
inline bool reserve(const std::filesystem::path& dir, int port)
{
    const int fd = open((dir / std::to_string(port)).c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    close(fd);
    return false;
}

}  // namespace free_port_detail

// A port free for UDP and TCP, reserved for this process; -1 when none is.
inline int free_port()
{
    using namespace free_port_detail;
    static int next = static_cast<int>(getpid() % count);
    const auto dir = std::filesystem::temp_directory_path() / "logserver-test-ports";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    for (int tried = 0; tried < count; ++tried) {
        const int port = first + next++ % count;
        if (reserve(dir, port) && bindable(port, SOCK_STREAM) && bindable(port, SOCK_DGRAM))
            return port;
    }
    return -1;
}
