// The whole mail receiver, loaded from the run directory as the program
// loads it, talked to by Python's smtplib and by a raw line client, each test
// in a scratch working directory on a port of its own.

#include <arpa/inet.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <regex>

#include "modules/record_sink.h"
#include "support/run_module.h"
#include "support/scratch_dir.h"
#include "tcp_module.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr const char* dll = "tcp_dll.dll";
auto* const start_module =
    module_entry<decltype(tcp_interface_SetFunc)>(dll, "tcp_interface_SetFunc");
auto* const stop_module = module_entry<decltype(stop_tcp)>(dll, "stop_tcp");
auto* const set_limits = module_entry<decltype(tcp_set_limits)>(dll, "tcp_set_limits");
auto* const bound_port = module_entry<decltype(tcp_bound_port)>(dll, "tcp_bound_port");
auto* const get_counts = module_entry<decltype(tcp_get_counts)>(dll, "tcp_get_counts");

// A raw SMTP client: sends bytes, reads whole replies.
class line_client {
public:
    line_client(uint16_t port, const char* source = "127.0.0.2")
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        timeval tv {10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in from {AF_INET, 0, {}, {}};
        inet_pton(AF_INET, source, &from.sin_addr);
        bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from);
        sockaddr_in to {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    ~line_client() { close(fd_); }
    line_client(const line_client&) = delete;
    line_client& operator=(const line_client&) = delete;

    void send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    // One reply, all its lines; "" when the server closed the connection.
    std::string reply()
    {
        std::string text;
        for (;;) {
            std::size_t lf = pending_.find('\n');
            if (lf != std::string::npos) {
                std::string line = pending_.substr(0, lf + 1);
                pending_.erase(0, lf + 1);
                text += line;
                if (line.size() >= 4 && line[3] == ' ')
                    return text;
                continue;
            }
            char buf[4096];
            ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n <= 0)
                return "";
            pending_.append(buf, static_cast<std::size_t>(n));
        }
    }
    std::string command(const std::string& line)
    {
        send(line + "\r\n");
        return reply();
    }
    bool closed_by_server()
    {
        char c;
        ssize_t n = recv(fd_, &c, 1, 0);
        return pending_.empty() && (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK));
    }
    bool readable() const
    {
        pollfd p {fd_, POLLIN, 0};
        return !pending_.empty() || poll(&p, 1, 0) > 0;
    }

private:
    int fd_ = -1;
    std::string pending_;
};

std::string code(const std::string& reply) { return reply.substr(0, 3); }

// The greeting and EHLO that open a raw session.
void open_session(line_client& c)
{
    ASSERT_EQ(code(c.reply()), "220");
    ASSERT_EQ(code(c.command("EHLO raw")), "250");
}

// MAIL, RCPT and DATA, then the message as it goes on the wire.
void send_mail(line_client& c, const std::string& wire_body)
{
    EXPECT_EQ(code(c.command("MAIL FROM:<a@example.test>")), "250");
    EXPECT_EQ(code(c.command("RCPT TO:<b@example.test>")), "250");
    EXPECT_EQ(code(c.command("DATA")), "354");
    c.send(wire_body);
}

// A whole transaction; the code of the reply to the message.
std::string mail(line_client& c, const std::string& wire_body)
{
    send_mail(c, wire_body);
    return code(c.reply());
}

// Runs the module from a scratch directory whose "smtp_port" names a free
// port.
class TcpModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(start_module && stop_module && set_limits && bound_port && get_counts);
        port_ = free_port();
        write_file("smtp_port", std::to_string(port_) + "\n");
    }
    void TearDown() override
    {
        sink::hold(false);
        stop_module();
        set_limits(nullptr);
        sink::reset();
    }
    void run(const tcp_limits& limits = {})
    {
        set_limits(&limits);
        ASSERT_EQ(start_module(sink::take), 0);
        ASSERT_EQ(bound_port(), port_);
    }

    // Names in the router's folder, sorted; hidden ones only with `hidden`.
    std::vector<std::string> files(const std::string& router = "127.0.0.2",
                                   bool hidden = false) const
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir_.path() / "mail_save" / router, ec))
            if (hidden || e.path().filename().string()[0] != '.')
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string stored(const std::string& name) const
    {
        return read_file((dir_.path() / "mail_save" / "127.0.0.2" / name).string());
    }

    // Runs smtp_client.py, which writes each message it hands over as
    // sent/sent-<n>.eml, in the bytes the server should store.
    void run_client(const char* scenario)
    {
        fs::create_directories(dir_.path() / "sent");
        std::string port = std::to_string(port_), out = (dir_.path() / "sent").string();
        const char* argv[] = {PYTHON3,  SMTP_CLIENT, port.c_str(), "127.0.0.2",
                              scenario, out.c_str(), nullptr};
        gchar* errors = nullptr;
        gint status = -1;
        bool ran = g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_DEFAULT,
                                nullptr, nullptr, nullptr, &errors, &status, nullptr);
        EXPECT_TRUE(ran && g_spawn_check_wait_status(status, nullptr)) << (errors ? errors : "");
        g_free(errors);
    }
    std::string sent(int n) const
    {
        return read_file((dir_.path() / "sent" / ("sent-" + std::to_string(n) + ".eml")).string());
    }

    scratch_dir dir_;
    uint16_t port_ = 0;
};

}  // namespace

// Plain with dots to unstuff, multipart with an attachment, UTF-8 and GB2312
// subjects (the last after HELO, so without SIZE).
TEST_F(TcpModule, SmtplibMailsAreStoredByteForByte)
{
    run();
    run_client("deliver");
    ASSERT_TRUE(eventually([] { return sink::count() == 4; }));
    std::vector<std::string> names = files();
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(files("127.0.0.2", true), names) << "no temporary file is left";
    const std::regex pattern(R"(\d{8}-\d{6}-\d{6}\.eml)");
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(std::regex_match(names[i], pattern)) << names[i];
        EXPECT_EQ(stored(names[i]), sent(i)) << names[i];
    }
    for (const auto& r : sink::records()) {
        EXPECT_EQ(r.msg.impMsg.dwLogType, 144u);
        EXPECT_EQ(r.dwIP, loopback_dwip(2));
    }
}

TEST_F(TcpModule, FourClientsAtOnce)
{
    run();
    run_client("concurrent");
    ASSERT_TRUE(eventually([] { return sink::count() == 100; }));
    std::vector<std::string> names = files();
    ASSERT_EQ(names.size(), 100u);
    std::vector<std::string> want, got;
    for (int i = 0; i < 100; ++i) {
        want.push_back(sent(i));
        got.push_back(stored(names[i]));
    }
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_TRUE(want == got) << "every mail whole, each once";
}

// Refused lines and messages leave the session going and no file behind;
// far beyond the size limit the server stops listening to the message.
TEST_F(TcpModule, OverlongLinesAndOversizedMessagesAreRefused)
{
    tcp_limits limits {};
    limits.max_message_bytes = 20000;
    run(limits);
    line_client c(port_);
    open_session(c);
    EXPECT_EQ(code(c.command("NOOP " + std::string(505, 'x'))), "250") << "512 bytes with CRLF fit";
    EXPECT_EQ(code(c.command("NOOP " + std::string(506, 'x'))), "500");
    EXPECT_EQ(code(c.command("MAIL FROM:<" + std::string(100000, 'a') + "@b>")), "500");
    EXPECT_EQ(code(c.command("RCPT TO:<b@example.test>")), "503") << "the long MAIL was not taken";
    EXPECT_EQ(code(c.command("MAIL FROM:<a@example.test>")), "250");
    EXPECT_EQ(code(c.command("RCPT TO:<" + std::string(600, 'b') + "@c>")), "500");
    EXPECT_EQ(code(c.command("DATA")), "554");
    EXPECT_EQ(code(c.command("RSET")), "250");
    EXPECT_EQ(mail(c, std::string(30000, 'x') + "\r\n.\r\n"), "552");
    EXPECT_TRUE(files("127.0.0.2", true).empty());
    EXPECT_EQ(mail(c, std::string(19998, 'y') + "\r\n.\r\n"), "250") << "exactly the limit";
    ASSERT_TRUE(eventually([] { return sink::count() == 1; }));
    ASSERT_EQ(files("127.0.0.2", true).size(), 1u);
    EXPECT_EQ(stored(files()[0]), std::string(19998, 'y') + "\r\n");

    send_mail(c, std::string(50000, 'z'));
    std::string r = c.reply();
    EXPECT_TRUE(r.empty() || code(r) == "552") << r;
    EXPECT_TRUE(c.closed_by_server());
    EXPECT_EQ(files("127.0.0.2", true).size(), 1u);
}

TEST_F(TcpModule, PeerLeavingInTheMiddleOfDataLeavesNoFile)
{
    run();
    {
        line_client c(port_);
        open_session(c);
        send_mail(c, "Subject: cut\r\n\r\n" + std::string(100000, 'x'));
        ASSERT_TRUE(eventually([this] { return !files("127.0.0.2", true).empty(); }))
            << "a temporary file while the message comes in";
    }
    ASSERT_TRUE(eventually([this] { return files("127.0.0.2", true).empty(); }));

    line_client next(port_);
    open_session(next);
    EXPECT_EQ(mail(next, "Subject: whole\r\n\r\nbody\r\n.\r\n"), "250");
    ASSERT_TRUE(eventually([] { return sink::count() == 1; }));
    ASSERT_EQ(files("127.0.0.2", true).size(), 1u);
    EXPECT_EQ(stored(files()[0]), "Subject: whole\r\n\r\nbody\r\n");
}

TEST_F(TcpModule, ConversationRepliesAndPipelining)
{
    tcp_limits limits {};
    limits.max_message_bytes = 123456;
    run(limits);
    line_client c(port_);
    EXPECT_EQ(code(c.reply()), "220");
    EXPECT_EQ(code(c.command("MAIL FROM:<a@x>")), "503") << "EHLO first";
    std::string ehlo = c.command("EHLO client.test");
    EXPECT_NE(ehlo.find("250-SIZE 123456\r\n"), std::string::npos) << ehlo;
    const std::pair<const char*, const char*> replies[] = {
        {"EHLO", "501"},
        {"RCPT TO:<b@y>", "503"},
        {"DATA", "503"},
        {"MAIL FROM:a@x", "501"},
        {"MAIL FROM:<a@x> XFOO=1", "555"},
        {"MAIL FROM:<a@x> SIZE=123457", "552"},
        {"MAIL FROM:<> SIZE=123456 BODY=8BITMIME", "250"},
        {"MAIL FROM:<a@x>", "503"},
        {"RCPT TO:<>", "501"},
        {"DATA", "554"},
        {"RSET", "250"},
        {"RCPT TO:<b@y>", "503"},  // RSET ended the transaction
        {"NOOP", "250"},
        {"VRFY b", "252"},
        {"HELP", "214"},
        {"STARTTLS", "502"},
        {"XYZZY", "500"},
    };
    for (const auto& [command, want] : replies)
        EXPECT_EQ(code(c.command(command)), want) << command;

    // Commands, message and QUIT arriving in two writes.
    c.send("MAIL FROM:<a@x>\r\nRCPT TO:<b@y>\r\nRCPT TO:<c@y>\r\nDATA\r\n");
    for (const char* want : {"250", "250", "250", "354"})
        EXPECT_EQ(code(c.reply()), want);
    c.send("Subject: s\r\n\r\n..dot\r\n.\r\nQUIT\r\n");
    EXPECT_EQ(code(c.reply()), "250");
    EXPECT_EQ(code(c.reply()), "221");
    EXPECT_TRUE(c.closed_by_server());
    ASSERT_TRUE(eventually([] { return sink::count() == 1; }));
    EXPECT_EQ(stored(files()[0]), "Subject: s\r\n\r\n.dot\r\n");
}

TEST_F(TcpModule, RecipientErrorAndIdleLimits)
{
    tcp_limits limits {};
    limits.max_recipients = 3;
    limits.idle_timeout_ms = 300;
    run(limits);
    {
        line_client c(port_);
        open_session(c);
        ASSERT_EQ(code(c.command("MAIL FROM:<a@x>")), "250");
        for (const char* want : {"250", "250", "250", "452", "452"})
            EXPECT_EQ(code(c.command("RCPT TO:<b@y>")), want);
        EXPECT_EQ(code(c.command("DATA")), "354");
        c.send("three recipients\r\n.\r\n");
        EXPECT_EQ(code(c.reply()), "250");
        // Then nothing: the idle limit ends the session.
        EXPECT_EQ(c.reply().substr(0, 9), "421 4.4.2");
        EXPECT_TRUE(c.closed_by_server());
    }
    {
        // A message that stops coming in.
        line_client c(port_);
        open_session(c);
        send_mail(c, "half a message\r\n");
        EXPECT_EQ(code(c.reply()), "421");
    }
    {
        // Bytes trickling in without ever ending the line.
        line_client c(port_);
        ASSERT_EQ(code(c.reply()), "220");
        auto t0 = std::chrono::steady_clock::now();
        while (!c.readable() && std::chrono::steady_clock::now() - t0 < 5s) {
            c.send("N");
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_EQ(code(c.reply()), "421");
    }
    {
        line_client c(port_);
        ASSERT_EQ(code(c.reply()), "220");
        std::string last;
        for (int i = 0; i < 20; ++i)
            last = c.command("BAD");
        EXPECT_EQ(last.substr(0, 9), "421 4.7.0") << "too many errors";
        EXPECT_TRUE(c.closed_by_server());
    }
    ASSERT_TRUE(eventually([] { return sink::count() == 1; }));
    EXPECT_EQ(files("127.0.0.2", true).size(), 1u);
}

TEST_F(TcpModule, SessionsBeyondTheLimitAreTurnedAway)
{
    tcp_limits limits {};
    limits.max_sessions = 2;
    run(limits);
    auto a = std::make_unique<line_client>(port_);
    line_client b(port_);
    ASSERT_EQ(code(a->reply()), "220");
    ASSERT_EQ(code(b.reply()), "220");
    {
        line_client c(port_);
        EXPECT_EQ(c.reply().substr(0, 9), "421 4.7.0");
        EXPECT_TRUE(c.closed_by_server());
    }
    EXPECT_EQ(code(a->command("QUIT")), "221");
    a.reset();
    EXPECT_TRUE(eventually([this] {
        line_client d(port_);
        return code(d.reply()) == "220";
    }));
}

TEST_F(TcpModule, StartStopAndPortChoice)
{
    run();
    EXPECT_EQ(start_module(sink::take), -1) << "already running";
    stop_module();
    EXPECT_EQ(bound_port(), -1);
    EXPECT_EQ(start_module(nullptr), -1);

    int taken = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a {AF_INET, htons(port_), {htonl(INADDR_ANY)}, {}};
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(taken, 1), 0);
    EXPECT_EQ(start_module(sink::take), -1) << "port in use";
    close(taken);

    ASSERT_EQ(start_module(sink::take), 0);
    {
        line_client c(port_, "127.0.0.9");
        open_session(c);
        EXPECT_EQ(mail(c, "again\r\n.\r\n"), "250");
    }
    ASSERT_TRUE(eventually([] { return sink::count() == 1; }));
    EXPECT_EQ(sink::records()[0].dwIP, loopback_dwip(9));
    EXPECT_EQ(files("127.0.0.9").size(), 1u);
    stop_module();

    // Anything but a port number means the default port.
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    int reuse = 1;  // as the module binds: closed connections do not count
    setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in d {AF_INET, htons(20025), {htonl(INADDR_ANY)}, {}};
    bool default_free = bind(probe, reinterpret_cast<sockaddr*>(&d), sizeof d) == 0;
    close(probe);
    if (!default_free)
        GTEST_SKIP() << "port 20025 is in use here";
    fs::remove("smtp_port");
    const char* const contents[] = {nullptr, "", "0", "65536", "port", "25 26"};
    for (const char* content : contents) {
        if (content)
            write_file("smtp_port", content);
        ASSERT_EQ(start_module(sink::take), 0) << (content ? content : "no file");
        EXPECT_EQ(bound_port(), 20025) << (content ? content : "no file");
        stop_module();
    }
}

TEST_F(TcpModule, StopBreaksOffSessionsAndDoesNotWaitForTheCallback)
{
    run();
    line_client idle(port_), sending(port_);
    ASSERT_EQ(code(idle.reply()), "220");
    open_session(sending);
    send_mail(sending, "unfinished\r\n");
    ASSERT_TRUE(eventually([this] { return !files("127.0.0.2", true).empty(); }));

    auto t0 = std::chrono::steady_clock::now();
    stop_module();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
    EXPECT_EQ(idle.reply().substr(0, 9), "421 4.3.2");
    EXPECT_EQ(sending.reply().substr(0, 9), "421 4.3.2");
    EXPECT_TRUE(files("127.0.0.2", true).empty()) << "the broken-off message leaves no file";

    // A callback that does not return holds neither stop nor the next start.
    ASSERT_EQ(start_module(sink::take), 0);
    sink::hold(true);
    {
        line_client c(port_);
        open_session(c);
        EXPECT_EQ(mail(c, "held\r\n.\r\n"), "250") << "stored before the callback returns";
    }
    ASSERT_TRUE(eventually([] { return sink::calls() == 1; }));
    t0 = std::chrono::steady_clock::now();
    stop_module();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 4s);
    ASSERT_EQ(start_module(sink::take), 0);
    sink::hold(false);
    {
        line_client c(port_);
        open_session(c);
        EXPECT_EQ(mail(c, "after\r\n.\r\n"), "250");
    }
    ASSERT_TRUE(eventually([] { return sink::count() == 2; }));
    EXPECT_EQ(files().size(), 2u);
}

// Routers 127.0.0.2 to 127.0.0.9; "allow_routers" names 127.0.0.3 and the
// block 127.0.0.6/31 (6 and 7). The others get 554 in place of the greeting,
// leave no folder and are counted. (Parsing and reporting the file: the
// allow-list tests in tests/base.)
TEST_F(TcpModule, OnlyRoutersOfTheAllowListAreServed)
{
    write_file("allow_routers", "127.0.0.3\n127.0.0.6/31\n");
    run();
    const auto inside = [](int last) { return last == 3 || last == 6 || last == 7; };
    for (int last = 2; last <= 9; ++last) {
        const std::string source = "127.0.0." + std::to_string(last);
        line_client c(port_, source.c_str());
        if (!inside(last)) {
            EXPECT_EQ(code(c.reply()), "554") << source;
            EXPECT_TRUE(c.closed_by_server()) << source;
            continue;
        }
        open_session(c);
        EXPECT_EQ(mail(c, "Subject: " + source + "\r\n\r\nbody\r\n.\r\n"), "250") << source;
    }
    ASSERT_TRUE(eventually([] { return sink::count() == 3; }));
    for (int last = 2; last <= 9; ++last) {
        const std::string source = "127.0.0." + std::to_string(last);
        EXPECT_EQ(files(source, true).size(), inside(last) ? 1u : 0u) << source;
        EXPECT_EQ(fs::exists(dir_.path() / "mail_save" / source), inside(last)) << source;
    }
    std::vector<uint32_t> routers;
    for (const auto& r : sink::records())
        routers.push_back(r.dwIP);
    EXPECT_EQ(routers,
              (std::vector<uint32_t> {loopback_dwip(3), loopback_dwip(6), loopback_dwip(7)}));
    tcp_counts n {};
    get_counts(&n);
    EXPECT_EQ(n.sessions, 8u);
    EXPECT_EQ(n.refused, 5u);
    EXPECT_EQ(n.stored, 3u);
}
