// Ports for the receivers under test. A port picked by binding port 0 and
// closing is in the kernel's ephemeral range, where an outgoing connection of
// a test running beside this one (a database client, a router played by a
// loopback address) may take it before the receiver binds. These ports come
// from below that range, and a lock file per port, held until the test
// process ends, keeps two test processes from picking the same one.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace free_port_detail {

constexpr int first = 20100; // above the program's own defaults (20000, 20025)
constexpr int count = 9900;  // up to 29999, below the ephemeral range

inline bool bindable(int port, int type)
{
    int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    bool ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (fd >= 0)
        close(fd);
    return ok;
}

// Takes the port's lock for the rest of the process; false when another
// process holds it.
inline bool reserve(const std::filesystem::path& dir, int port)
{
    int fd = open((dir / std::to_string(port)).c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    return true; // the descriptor stays open: the lock goes with the process
}

} // namespace free_port_detail

// A port free for both UDP and TCP on every address, reserved for this test
// process; -1 when the whole range is taken.
inline int free_port()
{
    using namespace free_port_detail;
    static int next = static_cast<int>(getpid() % count);
    std::error_code ec;
    const auto dir = std::filesystem::temp_directory_path() / "logserver-test-ports";
    std::filesystem::create_directories(dir, ec);
    for (int tried = 0; tried < count; ++tried) {
        const int port = first + next++ % count;
        if (reserve(dir, port) && bindable(port, SOCK_STREAM) && bindable(port, SOCK_DGRAM))
            return port;
    }
    return -1;
}
