// The whole mail receiver, loaded from the run directory as the program
// loads it, talked to by Python's smtplib and by a raw line client, each test
// in a scratch working directory on a port of its own.

#include <arpa/inet.h>
#include <dlfcn.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

#include "support/scratch_dir.h"
#include "tcp_module.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct module_api {
    decltype(&tcp_interface_SetFunc) start;
    decltype(&stop_tcp) stop;
    decltype(&tcp_set_limits) set_limits;
    decltype(&tcp_bound_port) port;
    decltype(&tcp_get_counts) counts;
};

const module_api& api()
{
    static void* h = dlopen(RUN_DIR "/tcp_dll.dll", RTLD_NOW);
    auto sym = [](const char* name) { return h != nullptr ? dlsym(h, name) : nullptr; };
    static module_api a {
        reinterpret_cast<decltype(&tcp_interface_SetFunc)>(sym("tcp_interface_SetFunc")),
        reinterpret_cast<decltype(&stop_tcp)>(sym("stop_tcp")),
        reinterpret_cast<decltype(&tcp_set_limits)>(sym("tcp_set_limits")),
        reinterpret_cast<decltype(&tcp_bound_port)>(sym("tcp_bound_port")),
        reinterpret_cast<decltype(&tcp_get_counts)>(sym("tcp_get_counts"))};
    return a;
}

// What the callback received; while `g_hold` is set the callback waits.
std::mutex g_mutex;
std::condition_variable g_changed;
std::vector<tagCommunicationData_> g_got;
bool g_hold = false;
int g_entered = 0;

extern "C" void on_record(tagCommunicationData_* p)
{
    std::unique_lock lock(g_mutex);
    ++g_entered;
    g_changed.wait(lock, [] { return !g_hold; });
    g_got.push_back(*p);
}

void set_hold(bool hold)
{
    std::lock_guard lock(g_mutex);
    g_hold = hold;
    g_changed.notify_all();
}

template <class Pred> bool eventually(Pred done, std::chrono::milliseconds limit = 20s)
{
    for (auto end = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < end;) {
        if (done())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

std::size_t records()
{
    std::lock_guard lock(g_mutex);
    return g_got.size();
}

constexpr uint32_t loopback_dwip(int last_octet) { return 127u | uint32_t(last_octet) << 24; }

uint16_t free_port()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a {AF_INET, 0, {htonl(INADDR_ANY)}, {}};
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

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
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    }
    ~line_client() { close(fd_); }

    bool connected() const { return connected_; }
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
    // True when the server has closed the connection.
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
    bool connected_ = false;
    std::string pending_;
};

std::string code(const std::string& reply) { return reply.substr(0, 3); }

// Runs the module from a scratch directory whose "smtp_port" names a free
// port; limits may be set before start().
class TcpModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(api().start, nullptr) << dlerror();
        port_ = free_port();
        write_file("smtp_port", std::to_string(port_) + "\n");
    }
    void TearDown() override
    {
        set_hold(false);
        api().stop();
        api().set_limits(nullptr);
        g_got.clear();
        g_entered = 0;
    }
    void start(const tcp_limits& limits = {})
    {
        api().set_limits(&limits);
        ASSERT_EQ(api().start(on_record), 0);
        ASSERT_EQ(api().port(), port_);
    }

    // Names in the router's folder, sorted; hidden ones only with `hidden`.
    std::vector<std::string> files(const char* router = "127.0.0.2", bool hidden = false) const
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir_.path() / "mail_save" / router, ec))
            if (hidden || e.path().filename().string()[0] != '.')
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string stored(const std::string& name, const char* router = "127.0.0.2") const
    {
        return read_file((dir_.path() / "mail_save" / router / name).string());
    }

    // Runs the smtplib client; its printed lines.
    std::vector<std::string> run_client(const char* scenario)
    {
        fs::create_directories(dir_.path() / "sent");
        std::string port = std::to_string(port_), out = (dir_.path() / "sent").string();
        const char* argv[] = {PYTHON3,  SMTP_CLIENT, port.c_str(), "127.0.0.2",
                              scenario, out.c_str(), nullptr};
        gchar* output = nullptr;
        gchar* errors = nullptr;
        gint status = -1;
        bool ran = g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_DEFAULT,
                                nullptr, nullptr, &output, &errors, &status, nullptr);
        std::string text = output ? output : "", err = errors ? errors : "";
        g_free(output);
        g_free(errors);
        EXPECT_TRUE(ran && g_spawn_check_wait_status(status, nullptr)) << err;
        std::vector<std::string> lines;
        for (std::size_t at = 0, lf; (lf = text.find('\n', at)) != std::string::npos; at = lf + 1)
            lines.push_back(text.substr(at, lf - at));
        return lines;
    }
    std::string sent(int n) const
    {
        return read_file((dir_.path() / "sent" / ("sent-" + std::to_string(n) + ".eml")).string());
    }

    // The usual way to one stored mail over the raw client.
    static void send_mail(line_client& c, const std::string& wire_body)
    {
        EXPECT_EQ(code(c.command("MAIL FROM:<a@example.test>")), "250");
        EXPECT_EQ(code(c.command("RCPT TO:<b@example.test>")), "250");
        EXPECT_EQ(code(c.command("DATA")), "354");
        c.send(wire_body);
    }

    scratch_dir dir_;
    uint16_t port_ = 0;
};

}  // namespace

TEST_F(TcpModule, SmtplibMailsAreStoredByteForByte)
{
    start();
    run_client("deliver");
    ASSERT_TRUE(eventually([] { return records() == 4; }));
    std::vector<std::string> names = files();
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(files("127.0.0.2", true).size(), 4u) << "no temporary file is left";
    const std::regex pattern(R"(\d{8}-\d{6}-\d{6}\.eml)");
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(std::regex_match(names[i], pattern)) << names[i];
        EXPECT_EQ(stored(names[i]), sent(i)) << names[i];
    }
    EXPECT_NE(stored(names[0]).find("\r\n.leading dot\r\n..two dots\r\n.\r\n \r\n"),
              std::string::npos)
        << "dots unstuffed";
    EXPECT_NE(stored(names[1]).find("filename=\"report.bin\""), std::string::npos);
    EXPECT_NE(stored(names[2]).find("Subject: =?UTF-8?B?5Lit5paH5Li76aKYIFVURi04?="),
              std::string::npos);
    EXPECT_NE(stored(names[3]).find("Subject: =?GB2312?B?08q8/rHqzOIgR0IyMzEy?="),
              std::string::npos);

    std::lock_guard lock(g_mutex);
    for (const auto& r : g_got) {
        EXPECT_EQ(r.msg.impMsg.dwLogType, 144u);
        EXPECT_EQ(r.dwIP, loopback_dwip(2));
        EXPECT_EQ(r.msg.impMsg.dwSourceIP, 0u);
        EXPECT_STREQ(r.msg.impMsg.cLogUser, "");
        EXPECT_STREQ(r.msg.impMsg.cLogContent, "");
        EXPECT_STREQ(r.msg.impMsg.cLogNote, "");
    }
}

TEST_F(TcpModule, FourClientsAtOnce)
{
    start();
    run_client("concurrent");
    ASSERT_TRUE(eventually([] { return records() == 100; }));
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

TEST_F(TcpModule, SmtplibOversizedMessageAndOverlongLineAreRefused)
{
    tcp_limits limits {};
    limits.max_message_bytes = 20000;
    start(limits);
    EXPECT_EQ(run_client("refusals"), (std::vector<std::string> {"refused 552", "refused 500"}));
    ASSERT_TRUE(eventually([] { return records() == 1; }));
    std::vector<std::string> names = files("127.0.0.2", true);
    ASSERT_EQ(names.size(), 1u) << "only the mail sent after the refusals";
    EXPECT_EQ(stored(names[0]), sent(0));
}

TEST_F(TcpModule, OversizedDataWithoutSizeParameter)
{
    tcp_limits limits {};
    limits.max_message_bytes = 20000;
    start(limits);
    line_client c(port_);
    ASSERT_EQ(code(c.reply()), "220");
    ASSERT_EQ(code(c.command("EHLO raw")), "250");
    send_mail(c, std::string(30000, 'x') + "\r\n.\r\n");
    EXPECT_EQ(code(c.reply()), "552");
    send_mail(c, std::string(19998, 'y') + "\r\n.\r\n");  // exactly the limit
    EXPECT_EQ(code(c.reply()), "250");
    ASSERT_TRUE(eventually([] { return records() == 1; }));
    ASSERT_EQ(files("127.0.0.2", true).size(), 1u);
    EXPECT_EQ(stored(files()[0]), std::string(19998, 'y') + "\r\n");

    // Far beyond the limit the server stops listening to the message.
    send_mail(c, std::string(50000, 'z'));
    std::string r = c.reply();
    EXPECT_TRUE(r.empty() || code(r) == "552") << r;
    EXPECT_TRUE(c.closed_by_server());
    EXPECT_EQ(files("127.0.0.2", true).size(), 1u);
}

TEST_F(TcpModule, OverlongCommandLinesAreRefusedAndTheSessionGoesOn)
{
    start();
    line_client c(port_);
    ASSERT_EQ(code(c.reply()), "220");
    EXPECT_EQ(code(c.command("EHLO raw")), "250");
    EXPECT_EQ(code(c.command("NOOP " + std::string(505, 'x'))), "250") << "512 bytes with CRLF fit";
    EXPECT_EQ(code(c.command("NOOP " + std::string(506, 'x'))), "500");
    EXPECT_EQ(code(c.command("MAIL FROM:<" + std::string(100000, 'a') + "@b>")), "500");
    EXPECT_EQ(code(c.command("RCPT TO:<b@example.test>")), "503") << "the long MAIL was not taken";
    EXPECT_EQ(code(c.command("MAIL FROM:<a@example.test>")), "250");
    EXPECT_EQ(code(c.command("RCPT TO:<" + std::string(600, 'b') + "@c>")), "500");
    EXPECT_EQ(code(c.command("DATA")), "554");
    EXPECT_EQ(code(c.command("QUIT")), "221");
    EXPECT_TRUE(files("127.0.0.2", true).empty());
    EXPECT_EQ(records(), 0u);
}

TEST_F(TcpModule, PeerLeavingInTheMiddleOfDataLeavesNoFile)
{
    start();
    {
        line_client c(port_);
        ASSERT_EQ(code(c.reply()), "220");
        ASSERT_EQ(code(c.command("EHLO raw")), "250");
        send_mail(c, "Subject: cut\r\n\r\n" + std::string(100000, 'x'));
        ASSERT_TRUE(eventually([this] { return !files("127.0.0.2", true).empty(); }))
            << "a temporary file while the message comes in";
    }
    ASSERT_TRUE(eventually([this] { return files("127.0.0.2", true).empty(); }));

    line_client next(port_);
    ASSERT_EQ(code(next.reply()), "220");
    ASSERT_EQ(code(next.command("HELO raw")), "250");
    send_mail(next, "Subject: whole\r\n\r\nbody\r\n.\r\n");
    EXPECT_EQ(code(next.reply()), "250");
    ASSERT_TRUE(eventually([] { return records() == 1; }));
    ASSERT_EQ(files("127.0.0.2", true).size(), 1u);
    EXPECT_EQ(stored(files()[0]), "Subject: whole\r\n\r\nbody\r\n");
}

TEST_F(TcpModule, ConversationRepliesAndPipelining)
{
    tcp_limits limits {};
    limits.max_message_bytes = 123456;
    start(limits);
    line_client c(port_);
    EXPECT_EQ(code(c.reply()), "220");
    EXPECT_EQ(code(c.command("MAIL FROM:<a@x>")), "503") << "EHLO first";
    std::string ehlo = c.command("EHLO client.test");
    EXPECT_EQ(code(ehlo), "250");
    EXPECT_NE(ehlo.find("250-SIZE 123456\r\n"), std::string::npos) << ehlo;
    EXPECT_EQ(code(c.command("EHLO")), "501");
    EXPECT_EQ(code(c.command("RCPT TO:<b@y>")), "503");
    EXPECT_EQ(code(c.command("DATA")), "503");
    EXPECT_EQ(code(c.command("MAIL FROM:a@x")), "501");
    EXPECT_EQ(code(c.command("MAIL FROM:<a@x> XFOO=1")), "555");
    EXPECT_EQ(code(c.command("MAIL FROM:<a@x> SIZE=123457")), "552");
    EXPECT_EQ(code(c.command("MAIL FROM:<> SIZE=123456 BODY=8BITMIME")), "250");
    EXPECT_EQ(code(c.command("MAIL FROM:<a@x>")), "503");
    EXPECT_EQ(code(c.command("RCPT TO:<>")), "501");
    EXPECT_EQ(code(c.command("DATA")), "554");
    EXPECT_EQ(code(c.command("RSET")), "250");
    EXPECT_EQ(code(c.command("RCPT TO:<b@y>")), "503") << "RSET ends the transaction";
    EXPECT_EQ(code(c.command("NOOP")), "250");
    EXPECT_EQ(code(c.command("VRFY b")), "252");
    EXPECT_EQ(code(c.command("HELP")), "214");
    EXPECT_EQ(code(c.command("STARTTLS")), "502");
    EXPECT_EQ(code(c.command("XYZZY")), "500");

    // Commands, message and QUIT arriving in two writes.
    c.send("MAIL FROM:<a@x>\r\nRCPT TO:<b@y>\r\nRCPT TO:<c@y>\r\nDATA\r\n");
    for (const char* want : {"250", "250", "250", "354"})
        EXPECT_EQ(code(c.reply()), want);
    c.send("Subject: s\r\n\r\n..dot\r\n.\r\nQUIT\r\n");
    EXPECT_EQ(code(c.reply()), "250");
    EXPECT_EQ(code(c.reply()), "221");
    EXPECT_TRUE(c.closed_by_server());
    ASSERT_TRUE(eventually([] { return records() == 1; }));
    EXPECT_EQ(stored(files()[0]), "Subject: s\r\n\r\n.dot\r\n");
}

TEST_F(TcpModule, RecipientErrorAndIdleLimits)
{
    tcp_limits limits {};
    limits.max_recipients = 3;
    limits.idle_timeout_ms = 300;
    start(limits);
    {
        line_client c(port_);
        ASSERT_EQ(code(c.reply()), "220");
        ASSERT_EQ(code(c.command("EHLO raw")), "250");
        ASSERT_EQ(code(c.command("MAIL FROM:<a@x>")), "250");
        for (const char* want : {"250", "250", "250", "452", "452"})
            EXPECT_EQ(code(c.command("RCPT TO:<b@y>")), want);
        EXPECT_EQ(code(c.command("DATA")), "354");
        c.send("three recipients\r\n.\r\n");
        EXPECT_EQ(code(c.reply()), "250");
        // Then nothing: the idle limit ends the session.
        std::string r = c.reply();
        EXPECT_EQ(r.substr(0, 9), "421 4.4.2") << r;
        EXPECT_TRUE(c.closed_by_server());
    }
    {
        // A message that stops coming in.
        line_client c(port_);
        ASSERT_EQ(code(c.reply()), "220");
        ASSERT_EQ(code(c.command("EHLO raw")), "250");
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
    ASSERT_TRUE(eventually([] { return records() == 1; }));
    EXPECT_EQ(files("127.0.0.2", true).size(), 1u);
}

TEST_F(TcpModule, SessionsBeyondTheLimitAreTurnedAway)
{
    tcp_limits limits {};
    limits.max_sessions = 2;
    start(limits);
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
    start();
    EXPECT_EQ(api().start(on_record), -1) << "already running";
    api().stop();
    EXPECT_EQ(api().port(), -1);
    EXPECT_EQ(api().start(nullptr), -1);

    int taken = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a {AF_INET, htons(port_), {htonl(INADDR_ANY)}, {}};
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(taken, 1), 0);
    EXPECT_EQ(api().start(on_record), -1) << "port in use";
    close(taken);

    ASSERT_EQ(api().start(on_record), 0);
    {
        line_client c(port_, "127.0.0.9");
        EXPECT_EQ(code(c.reply()), "220");
        EXPECT_EQ(code(c.command("HELO raw")), "250");
        send_mail(c, "again\r\n.\r\n");
        EXPECT_EQ(code(c.reply()), "250");
    }
    ASSERT_TRUE(eventually([] { return records() == 1; }));
    EXPECT_EQ(g_got[0].dwIP, loopback_dwip(9));
    EXPECT_EQ(files("127.0.0.9").size(), 1u);
    api().stop();

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
    ASSERT_EQ(api().start(on_record), 0);
    EXPECT_EQ(api().port(), 20025);
    api().stop();
    for (const char* content : {"", "0", "65536", "port", "25 26"}) {
        write_file("smtp_port", content);
        ASSERT_EQ(api().start(on_record), 0) << content;
        EXPECT_EQ(api().port(), 20025) << content;
        api().stop();
    }
}

TEST_F(TcpModule, StopBreaksOffSessionsAndDoesNotWaitForTheCallback)
{
    start();
    line_client idle(port_), sending(port_);
    ASSERT_EQ(code(idle.reply()), "220");
    ASSERT_EQ(code(sending.reply()), "220");
    ASSERT_EQ(code(sending.command("EHLO raw")), "250");
    send_mail(sending, "unfinished\r\n");
    ASSERT_TRUE(eventually([this] { return !files("127.0.0.2", true).empty(); }));

    auto t0 = std::chrono::steady_clock::now();
    api().stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
    EXPECT_EQ(idle.reply().substr(0, 9), "421 4.3.2");
    EXPECT_EQ(sending.reply().substr(0, 9), "421 4.3.2");
    EXPECT_TRUE(files("127.0.0.2", true).empty()) << "the broken-off message leaves no file";

    // A callback that does not return holds neither stop nor the next start.
    ASSERT_EQ(api().start(on_record), 0);
    set_hold(true);
    {
        line_client c(port_);
        ASSERT_EQ(code(c.reply()), "220");
        ASSERT_EQ(code(c.command("HELO raw")), "250");
        send_mail(c, "held\r\n.\r\n");
        EXPECT_EQ(code(c.reply()), "250") << "stored before the callback returns";
    }
    ASSERT_TRUE(eventually([] {
        std::lock_guard lock(g_mutex);
        return g_entered == 1;
    }));
    t0 = std::chrono::steady_clock::now();
    api().stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 4s);
    ASSERT_EQ(api().start(on_record), 0);
    set_hold(false);
    {
        line_client c(port_);
        ASSERT_EQ(code(c.reply()), "220");
        ASSERT_EQ(code(c.command("HELO raw")), "250");
        send_mail(c, "after\r\n.\r\n");
        EXPECT_EQ(code(c.reply()), "250");
    }
    ASSERT_TRUE(eventually([] { return records() == 2; }));
    EXPECT_EQ(files().size(), 2u);
}

// Routers 127.0.0.2 to 127.0.0.9; "allow_routers" names 127.0.0.3 and the
// block 127.0.0.6/31 (6 and 7), with a comment and a line that does not parse.
TEST_F(TcpModule, OnlyRoutersOfTheAllowListAreServed)
{
    write_file("allow_routers", "# mail routers\n127.0.0.3\n\n127.0.0.6/31  # two more\nrouter-9\n");
    ::testing::internal::CaptureStderr();
    start();
    const auto inside = [](int last) { return last == 3 || last == 6 || last == 7; };
    for (int last = 2; last <= 9; ++last) {
        const std::string source = "127.0.0." + std::to_string(last);
        line_client c(port_, source.c_str());
        ASSERT_TRUE(c.connected()) << source;
        const std::string greeting = c.reply();
        if (!inside(last)) {
            EXPECT_EQ(code(greeting), "554") << source;
            EXPECT_TRUE(c.closed_by_server()) << source;
            continue;
        }
        EXPECT_EQ(code(greeting), "220") << source;
        EXPECT_EQ(code(c.command("EHLO router")), "250");
        send_mail(c, "Subject: from " + source + "\r\n\r\nbody\r\n.\r\n");
        EXPECT_EQ(code(c.reply()), "250") << source;
        c.command("QUIT");
    }
    ASSERT_TRUE(eventually([] { return records() == 3; }));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("allow_routers: line 5 ignored"), std::string::npos) << err;
    for (int last = 2; last <= 9; ++last) {
        const std::string source = "127.0.0." + std::to_string(last);
        EXPECT_EQ(files(source.c_str(), true).size(), inside(last) ? 1u : 0u) << source;
        EXPECT_EQ(fs::exists(dir_.path() / "mail_save" / source), inside(last)) << source;
    }
    std::vector<uint32_t> routers;
    {
        std::lock_guard lock(g_mutex);
        for (const auto& r : g_got)
            routers.push_back(r.dwIP);
    }
    EXPECT_EQ(routers, (std::vector<uint32_t> {loopback_dwip(3), loopback_dwip(6), loopback_dwip(7)}));
    ASSERT_NE(api().counts, nullptr);
    tcp_counts n {};
    api().counts(&n);
    EXPECT_EQ(n.sessions, 8u);
    EXPECT_EQ(n.refused, 5u);
    EXPECT_EQ(n.stored, 3u);
}

// A file without a valid line turns every router away, and says so.
TEST_F(TcpModule, AllowListWithoutValidLineRefusesEveryone)
{
    write_file("allow_routers", "# nothing yet\n127.0.0.300\n");
    ::testing::internal::CaptureStderr();
    start();
    for (const char* source : {"127.0.0.1", "127.0.0.2", "127.0.0.9"}) {
        line_client c(port_, source);
        EXPECT_EQ(code(c.reply()), "554") << source;
    }
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("holds no valid line: every router is refused"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir_.path() / "mail_save" / "127.0.0.2"));
    tcp_counts n {};
    api().counts(&n);
    EXPECT_EQ(n.refused, 3u);
    EXPECT_EQ(records(), 0u);
}
