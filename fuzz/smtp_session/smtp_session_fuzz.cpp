// A whole SMTP session of the mail receiver on one end of a socket pair,
// the input being everything the peer sends before it closes its side:
// every reply is well formed, and the mails it says it stored are there, with
// no temporary file left. The receiver's source is compiled into this file,
// so the harness reaches its session class.

#include "tcp_receiver.cpp"

#include <sys/socket.h>

#include <filesystem>

#include "fuzz_check.h"

namespace {

constexpr uint32_t router = 127u | 7u << 24;  // 127.0.0.7

std::string g_dir;

void ignore_record(tagCommunicationData_*) { }

void write_all_then_close(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    ::shutdown(fd, SHUT_WR);
}

std::string read_to_end(int fd)
{
    std::string out;
    char buf[4096];
    for (;;) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return out;
        out.append(buf, static_cast<std::size_t>(n));
    }
}

// Reply lines "ddd text" or "ddd-text", each ending with CRLF; the number of
// "stored" replies.
std::size_t check_replies(const std::string& replies)
{
    std::size_t stored = 0;
    for (std::size_t at = 0; at < replies.size();) {
        std::size_t end = replies.find("\r\n", at);
        FUZZ_CHECK(end != std::string::npos);
        std::string_view line(replies.data() + at, end - at);
        FUZZ_CHECK(line.size() >= 4 && line[0] >= '2' && line[0] <= '5' &&
                   g_ascii_isdigit(line[1]) && g_ascii_isdigit(line[2]) &&
                   (line[3] == ' ' || line[3] == '-'));
        FUZZ_CHECK(line.find('\n') == std::string_view::npos);
        if (line.starts_with("250 2.0.0 Ok: stored as "))
            ++stored;
        at = end + 2;
    }
    return stored;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gchar* dir = g_dir_make_tmp("smtp-fuzz-XXXXXX", nullptr);
    g_dir = dir;
    g_free(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 256 * 1024)
        return 0;
    // Small limits, so the input reaches them.
    const tcp_limits limits {2048, 128, 3, 2000, 4};
    shared_state st(limits, g_dir, std::make_shared<delivery_queue>(ignore_record));
    int sv[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) == 0);
    GSocket* server = g_socket_new_from_fd(sv[0], nullptr);
    FUZZ_CHECK(server != nullptr);
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::thread writer([&] { write_all_then_close(sv[1], input); });
    std::string replies;
    std::thread reader([&] { replies = read_to_end(sv[1]); });
    {
        session s(st, server, router);
        s.run();
    }
    g_object_unref(server);  // closes sv[0]: the peer sees the end
    writer.join();
    reader.join();
    ::close(sv[1]);

    const std::size_t stored = check_replies(replies);
    std::size_t files = 0;
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(g_dir) / "mail_save" / "127.0.0.7";
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        FUZZ_CHECK(e.path().filename().string()[0] != '.');  // no temporary file left
        ++files;
    }
    FUZZ_CHECK(files == stored);
    std::filesystem::remove_all(folder, ec);
    return 0;
}
