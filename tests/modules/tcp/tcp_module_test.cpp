// The whole mail receiver, loaded from the run directory as the program
// loads it, talked to by Python's smtplib and by a raw line client, each test
// in a scratch working directory on a port of its own.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>

#include "modules/record_sink.h"
#include "support/run_module.h"
#include "support/scratch_dir.h"
#include "tcp_module.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using strings = std::vector<std::string>;

namespace {

constexpr const char* dll = "tcp_dll.dll";
auto* const start_module =
    module_entry<decltype(tcp_interface_SetFunc)>(dll, "tcp_interface_SetFunc");
auto* const stop_module = module_entry<decltype(stop_tcp)>(dll, "stop_tcp");
auto* const set_limits = module_entry<decltype(tcp_set_limits)>(dll, "tcp_set_limits");
auto* const bound_port = module_entry<decltype(tcp_bound_port)>(dll, "tcp_bound_port");

// A raw SMTP client from 127.0.0.2: sends bytes, reads whole replies.
class line_client {
public:
    explicit line_client(uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM, 0))
    {
        timeval tv {10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in from {AF_INET, 0, {htonl(INADDR_LOOPBACK + 1)}, {}},
            to {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from);
        connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    ~line_client() { close(fd_); }

    void send(std::string_view bytes)
    {
        for (ssize_t n; !bytes.empty(); bytes.remove_prefix(static_cast<std::size_t>(n)))
            if ((n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL)) <= 0)
                return;
    }
    // The first `n` characters of the next reply (all its lines); "" when the
    // server closed the connection.
    std::string reply(std::size_t n = 3)
    {
        std::string text;
        for (std::size_t lf;;) {
            while ((lf = pending_.find('\n')) != std::string::npos) {
                const bool last = lf >= 3 && pending_[3] == ' ';
                text += pending_.substr(0, lf + 1);
                pending_.erase(0, lf + 1);
                if (last)
                    return text.substr(0, n);
            }
            char buf[4096];
            const ssize_t got = recv(fd_, buf, sizeof buf, 0);
            if (got <= 0)
                return "";
            pending_.append(buf, static_cast<std::size_t>(got));
        }
    }
    std::string command(const std::string& line, std::size_t n = 3)
    {
        send(line + "\r\n");
        return reply(n);
    }
    // The greeting and EHLO that open a session.
    void open()
    {
        EXPECT_EQ(reply(), "220");
        EXPECT_EQ(command("EHLO raw"), "250");
    }
    // MAIL, RCPT and DATA, then the message as it goes on the wire.
    void send_mail(const std::string& wire)
    {
        EXPECT_EQ(command("MAIL FROM:<a@example.test>"), "250");
        EXPECT_EQ(command("RCPT TO:<b@example.test>"), "250");
        EXPECT_EQ(command("DATA"), "354");
        send(wire);
    }
    // A whole transaction: the code of the reply to the message.
    std::string mail(const std::string& wire)
    {
        send_mail(wire);
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
    int fd_;
    std::string pending_;
};

// The names in the client's folder, temporary files included, sorted; and
// their contents in that order.
strings files()
{
    strings names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("mail_save/127.0.0.2", ec))
        names.push_back(e.path().filename().string());
    std::ranges::sort(names);
    return names;
}
strings stored()
{
    strings out;
    for (const auto& name : files())
        out.push_back(read_file("mail_save/127.0.0.2/" + name));
    return out;
}

// Runs the module from a scratch directory whose "smtp_port" names a free
// port.
class TcpModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(start_module && stop_module && set_limits && bound_port);
        write_file("smtp_port", std::to_string(port_) + "\n");
    }
    void TearDown() override
    {
        sink::hold(false);
        stop_module();
        sink::reset();
    }
    // Starts the module with the limits `set` gives on a zeroed struct; a 0
    // keeps the module's default.
    void run(const std::function<void(tcp_limits&)>& set = [](tcp_limits&) {})
    {
        tcp_limits limits {};
        set(limits);
        set_limits(&limits);
        ASSERT_EQ(start_module(sink::take), 0);
        ASSERT_EQ(bound_port(), port_);
    }

    scratch_dir dir_;
    const uint16_t port_ = static_cast<uint16_t>(free_port());
};

}  // namespace

// smtp_client.py writes each message it sends as sent/sent-<n>.eml, in the
// bytes the server should store.
TEST_F(TcpModule, SmtplibMailsAreStoredByteForByteEachOnce)
{
    run();
    fs::create_directory("sent");
    const std::string client = PYTHON3 " " SMTP_CLIENT " " + std::to_string(port_);
    ASSERT_EQ(std::system((client + " 127.0.0.2 sent").c_str()), 0);
    constexpr int mails = 100;
    ASSERT_TRUE(eventually([] { return sink::count() == mails; }));
    const std::regex pattern(R"(\d{8}-\d{6}-\d{6}\.eml)");
    for (const auto& name : files())
        EXPECT_TRUE(std::regex_match(name, pattern)) << name;
    const strings texts = stored();
    std::multiset<std::string> got(texts.begin(), texts.end()), sent;
    for (int i = 0; i < mails; ++i)
        sent.insert(read_file("sent/sent-" + std::to_string(i) + ".eml"));
    EXPECT_TRUE(got == sent) << "every mail whole, each once, no temporary file left";
}

// Refused commands and messages leave the session going and no file behind;
// the last message and QUIT come pipelined; far beyond the size limit the
// server stops listening to the message. (A peer leaving in the middle of a
// message: the smtp_session fuzz corpus.)
TEST_F(TcpModule, RepliesRefusalsAndPipelining)
{
    run([](tcp_limits& l) { l.max_message_bytes = 20000; });
    line_client c(port_);
    EXPECT_EQ(c.reply(), "220");
    EXPECT_EQ(c.command("MAIL FROM:<a@x>"), "503") << "EHLO first";
    std::string ehlo = c.command("EHLO client.test", std::string::npos);
    EXPECT_NE(ehlo.find("250-SIZE 20000\r\n"), std::string::npos) << ehlo;
    const std::pair<std::string, const char*> replies[] = {
        {"EHLO", "501"},
        {"NOOP " + std::string(505, 'x'), "250"},  // 512 bytes with CRLF fit
        {"NOOP " + std::string(506, 'x'), "500"},
        {"MAIL FROM:<" + std::string(100000, 'a') + "@b>", "500"},
        {"RCPT TO:<b@y>", "503"},  // the long MAIL was not taken
        {"DATA", "503"},
        {"MAIL FROM:a@x", "501"},
        {"MAIL FROM:<a@x> XFOO=1", "555"},
        {"MAIL FROM:<a@x> SIZE=20001", "552"},
        {"MAIL FROM:<> SIZE=20000 BODY=8BITMIME", "250"},
        {"MAIL FROM:<a@x>", "503"},
        {"RCPT TO:<>", "501"},
        {"DATA", "554"},
        {"RSET", "250"},
        {"RCPT TO:<b@y>", "503"},  // RSET ended the transaction
        {"VRFY b", "252"},
        {"HELP", "214"},
        {"STARTTLS", "502"},
        {"XYZZY", "500"},
    };
    for (const auto& [command, want] : replies)
        EXPECT_EQ(c.command(command), want) << command.substr(0, 40);
    EXPECT_EQ(c.mail(std::string(30000, 'x') + "\r\n.\r\n"), "552");
    EXPECT_EQ(c.mail(std::string(19998, 'y') + "\r\n.\r\n"), "250") << "exactly the limit";

    // Commands, message and QUIT arriving in two writes.
    c.send("MAIL FROM:<a@x>\r\nRCPT TO:<b@y>\r\nRCPT TO:<c@y>\r\nDATA\r\n");
    for (const char* want : {"250", "250", "250", "354"})
        EXPECT_EQ(c.reply(), want);
    c.send("Subject: s\r\n\r\n..dot\r\n.\r\nQUIT\r\n");
    EXPECT_EQ(c.reply(), "250");
    EXPECT_EQ(c.reply(), "221");
    EXPECT_TRUE(c.closed_by_server());
    ASSERT_TRUE(eventually([] { return sink::count() == 2; }));
    EXPECT_EQ(stored(), (strings {std::string(19998, 'y') + "\r\n", "Subject: s\r\n\r\n.dot\r\n"}));

    line_client d(port_);
    d.open();
    const std::string r = d.mail(std::string(50000, 'z'));
    EXPECT_TRUE(r.empty() || r == "552") << r;
    EXPECT_TRUE(d.closed_by_server());
    EXPECT_EQ(files().size(), 2u);
}

TEST_F(TcpModule, RecipientErrorAndIdleLimits)
{
    run([](tcp_limits& l) {
        l.max_recipients = 3;
        l.idle_timeout_ms = 300;
    });
    {
        line_client c(port_);
        c.open();
        ASSERT_EQ(c.command("MAIL FROM:<a@x>"), "250");
        for (const char* want : {"250", "250", "250", "452", "452"})
            EXPECT_EQ(c.command("RCPT TO:<b@y>"), want);
        EXPECT_EQ(c.command("DATA"), "354");
        c.send("three recipients\r\n.\r\n");
        EXPECT_EQ(c.reply(), "250");
    }
    {
        line_client c(port_);
        c.open();
        EXPECT_EQ(c.mail("half a message\r\n"), "421") << "a message that stops coming in";
    }
    {
        line_client c(port_);
        ASSERT_EQ(c.reply(), "220");
        for (auto t0 = std::chrono::steady_clock::now();
             !c.readable() && std::chrono::steady_clock::now() - t0 < 5s;) {
            c.send("N");
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_TRUE(c.readable()) << "bytes trickling in without ever ending the line";
        EXPECT_EQ(c.reply(9), "421 4.4.2");
    }
    {
        line_client c(port_);
        ASSERT_EQ(c.reply(), "220");
        std::string last;
        for (int i = 0; i < 20; ++i)
            last = c.command("BAD", 9);
        EXPECT_EQ(last, "421 4.7.0") << "too many errors";
        EXPECT_TRUE(c.closed_by_server());
    }
    ASSERT_TRUE(eventually([] { return sink::count() == 1; }));
    EXPECT_EQ(files().size(), 1u);
}

// Two sessions at once at most; stop breaks off the sessions at once.
TEST_F(TcpModule, StartStopSessionLimitAndPortChoice)
{
    run([](tcp_limits& l) { l.max_sessions = 2; });
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
    auto quitting = std::make_unique<line_client>(port_);
    line_client sending(port_);
    ASSERT_EQ(quitting->reply(), "220");
    sending.open();
    sending.send_mail("unfinished\r\n");
    {
        line_client third(port_);
        EXPECT_EQ(third.reply(9), "421 4.7.0");
        EXPECT_TRUE(third.closed_by_server());
    }
    EXPECT_EQ(quitting->command("QUIT"), "221");
    quitting.reset();
    std::unique_ptr<line_client> idle;
    ASSERT_TRUE(eventually([&] {
        idle = std::make_unique<line_client>(port_);
        return idle->reply() == "220";
    })) << "the QUIT freed a place";
    ASSERT_TRUE(eventually([] { return !files().empty(); }));

    auto t0 = std::chrono::steady_clock::now();
    stop_module();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
    EXPECT_EQ(idle->reply(9), "421 4.3.2");
    EXPECT_EQ(sending.reply(9), "421 4.3.2");
    EXPECT_TRUE(files().empty()) << "the broken-off message leaves no file";

    // A callback that does not return holds neither stop nor the next start.
    ASSERT_EQ(start_module(sink::take), 0);
    sink::hold(true);
    {
        line_client c(port_);
        c.open();
        EXPECT_EQ(c.mail("held\r\n.\r\n"), "250") << "stored before the callback returns";
    }
    ASSERT_TRUE(eventually([] { return sink::calls() == 1; }));
    t0 = std::chrono::steady_clock::now();
    stop_module();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 4s);
    ASSERT_EQ(start_module(sink::take), 0);
    sink::hold(false);
    {
        line_client c(port_);
        c.open();
        EXPECT_EQ(c.mail("after\r\n.\r\n"), "250");
    }
    ASSERT_TRUE(eventually([] { return sink::count() == 2; }));
    EXPECT_EQ(files().size(), 2u);
    stop_module();

    // Anything but a port number means the default port.
    if (!free_port_detail::bindable(20025, SOCK_STREAM))
        GTEST_SKIP() << "port 20025 is in use here";
    fs::remove("smtp_port");
    for (const char* content : {"no file", "0", "port"}) {
        if (content != std::string("no file"))
            write_file("smtp_port", content);
        ASSERT_EQ(start_module(sink::take), 0) << content;
        EXPECT_EQ(bound_port(), 20025) << content;
        stop_module();
    }
}
