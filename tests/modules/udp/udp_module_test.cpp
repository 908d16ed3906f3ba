// The whole module, loaded from the run directory as the program loads it,
// fed by real clients over loopback.

#include <arpa/inet.h>
#include <dlfcn.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "test_datagrams.h"
#include "udp_module.h"

namespace fs = std::filesystem;

namespace {

struct module_api {
    decltype(&start_udp) start;
    decltype(&stop_udp) stop;
    decltype(&udp_get_counts) counts;
    decltype(&udp_bound_port) port;
};

const module_api& api()
{
    static void* h = dlopen(RUN_DIR "/udp.so", RTLD_NOW);
    auto sym = [](const char* name) { return h != nullptr ? dlsym(h, name) : nullptr; };
    static module_api a{reinterpret_cast<decltype(&start_udp)>(sym("start_udp")),
                        reinterpret_cast<decltype(&stop_udp)>(sym("stop_udp")),
                        reinterpret_cast<decltype(&udp_get_counts)>(sym("udp_get_counts")),
                        reinterpret_cast<decltype(&udp_bound_port)>(sym("udp_bound_port"))};
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

udp_counts counts()
{
    udp_counts c{};
    api().counts(&c);
    return c;
}

// Waits, up to a generous limit, until `done` holds (checked under g_mutex).
template <class Pred>
bool eventually(Pred done)
{
    for (int i = 0; i < 3000; ++i) {
        {
            std::lock_guard lock(g_mutex);
            if (done())
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::vector<tagCommunicationData_> wait_records(std::size_t n)
{
    eventually([n] { return g_got.size() >= n; });
    std::lock_guard lock(g_mutex);
    return g_got;
}

// A UDP socket bound to `addr`:`port`, -1 when that is taken.
int udp_socket(const char* addr, uint16_t port = 0)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{AF_INET, htons(port), {}, {}};
    inet_pton(AF_INET, addr, &a.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void send_to(int fd, uint16_t port, std::string_view d)
{
    sockaddr_in a{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    ASSERT_EQ(sendto(fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a),
              static_cast<ssize_t>(d.size()));
}

// Runs the module from a scratch directory whose "config" names a free port.
class UdpModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(api().start, nullptr) << dlerror();
        old_dir_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("udp_test_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        fs::current_path(dir_);
        int probe = udp_socket("0.0.0.0");
        sockaddr_in a{};
        socklen_t len = sizeof a;
        getsockname(probe, reinterpret_cast<sockaddr*>(&a), &len);
        close(probe);
        port_ = ntohs(a.sin_port);
        std::string config(500, '\0');
        config.replace(400, 5, std::to_string(port_));
        std::ofstream(dir_ / "config", std::ios::binary) << config;
        ASSERT_EQ(api().start(on_record), 0);
        ASSERT_EQ(api().port(), port_);
        sender_ = udp_socket("127.0.0.1");
    }
    void TearDown() override
    {
        set_hold(false);
        api().stop();
        close(sender_);
        fs::current_path(old_dir_);
        fs::remove_all(dir_);
        g_got.clear();
        g_entered = 0;
    }
    void send(std::string_view d) { send_to(sender_, port_, d); }

    fs::path old_dir_, dir_;
    uint16_t port_ = 0;
    int sender_ = -1;
};

void run_logger(uint16_t port, const char* format, const char* tag, const char* text)
{
    std::string p = std::to_string(port);
    const char* argv[] = {"logger", "-n", "127.0.0.1", "-P", p.c_str(), "-d", format, "-t", tag, text, nullptr};
    gint status = -1;
    ASSERT_TRUE(g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                             nullptr, nullptr, nullptr, &status, nullptr));
    ASSERT_EQ(status, 0);
}

constexpr uint32_t loopback_dwip(int last_octet) { return 127u | uint32_t(last_octet) << 24; }

}  // namespace

TEST_F(UdpModule, LoggerMessagesInBothFormats)
{
    if (gchar* path = g_find_program_in_path("logger"); path != nullptr)
        g_free(path);
    else
        GTEST_SKIP() << "logger not installed (apt-get install -y bsdutils)";
    run_logger(port_, "--rfc3164", "pppd", "link up 中文");
    run_logger(port_, "--rfc5424", "webfilter", "GET http://example.test/ blocked");
    auto got = wait_records(2);
    ASSERT_EQ(got.size(), 2u);
    const std::string host = g_get_host_name();
    for (const auto& r : got) {
        EXPECT_EQ(r.dwIP, loopback_dwip(1));
        EXPECT_EQ(imp(r).dwSourceIP, 0u);
        EXPECT_NE(imp(r).cLogNote[0], '\0');
        EXPECT_TRUE(host.starts_with(imp(r).cLogNote)) << imp(r).cLogNote;
    }
    EXPECT_EQ(imp(got[0]).dwLogType, 5u);
    EXPECT_STREQ(imp(got[0]).cLogUser, "pppd");
    EXPECT_STREQ(imp(got[0]).cLogContent, "link up 中文");
    EXPECT_EQ(imp(got[1]).dwLogType, 1u);
    EXPECT_STREQ(imp(got[1]).cLogUser, "webfilter");
    EXPECT_STREQ(imp(got[1]).cLogContent, "GET http://example.test/ blocked");
}

TEST_F(UdpModule, NativeRecordsFromSeveralAddresses)
{
    for (int last = 2; last <= 5; ++last) {
        std::string addr = "127.0.0." + std::to_string(last);
        int fd = udp_socket(addr.c_str());
        ASSERT_GE(fd, 0);
        uint32_t own_ip = last == 5 ? 0x0101A8C0 : 0;  // one carries its router address
        send_to(fd, port_, native_datagram(4, 0x0A000000u + last, "u" + addr, "flood " + addr, "n", own_ip));
        close(fd);
    }
    auto got = wait_records(4);
    ASSERT_EQ(got.size(), 4u);
    for (int last = 2; last <= 5; ++last) {
        const auto& r = got[last - 2];
        std::string addr = "127.0.0." + std::to_string(last);
        EXPECT_EQ(r.dwIP, last == 5 ? 0x0101A8C0u : loopback_dwip(last));
        EXPECT_EQ(imp(r).dwLogType, 4u);
        EXPECT_EQ(imp(r).dwSourceIP, 0x0A000000u + last);
        EXPECT_EQ(imp(r).cLogUser, "u" + addr);
        EXPECT_EQ(imp(r).cLogContent, "flood " + addr);
    }
}

TEST_F(UdpModule, HostileInputIsDeliveredAndReceiverGoesOn)
{
    send(native_datagram(5, 1, std::string(32, 'U'), std::string(512, 'C'), std::string(64, 'N'), 0, 0xFFFFFFFF));
    send("<13>bad \xFF\xFE utf");                      // neither UTF-8 nor GB18030 throughout
    send("<13>Jan  1 00:00:00 gw \xB9\xA5\xBB\xF7: \xD6\xD0\xCE\xC4\xB9\xA5\xBB\xF7");  // GB18030
    send("<13>smile \xF0\x9F\x98\x80");  // 4-byte characters in UTF-8 and GB18030
    send("<13>ext \x95\x32\x82\x36");
    send("");
    std::string big = "<13>" + repeat("\xF0\x9F\x98\x80", 20000);
    big.resize(65507, 'z');
    send(big);
    send("<13>still here");
    auto got = wait_records(7);
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(std::string(imp(got[0]).cLogUser), std::string(31, 'U'));
    EXPECT_EQ(std::string(imp(got[0]).cLogContent), std::string(511, 'C'));
    EXPECT_EQ(std::string(imp(got[0]).cLogNote), std::string(63, 'N'));
    EXPECT_EQ(got[0].dwIP, loopback_dwip(1));
    EXPECT_STREQ(imp(got[1]).cLogContent, "bad \xEF\xBF\xBD\xEF\xBF\xBD utf");
    EXPECT_STREQ(imp(got[2]).cLogNote, "gw");
    EXPECT_STREQ(imp(got[2]).cLogUser, "攻击");
    EXPECT_STREQ(imp(got[2]).cLogContent, "中文攻击");
    EXPECT_EQ(imp(got[2]).dwLogType, 4u);
    EXPECT_STREQ(imp(got[3]).cLogContent, "smile \xF0\x9F\x98\x80");
    EXPECT_STREQ(imp(got[4]).cLogContent, "ext \xF0\xA0\x80\x80");
    EXPECT_EQ(std::string(imp(got[5]).cLogContent), repeat("\xF0\x9F\x98\x80", 127));  // 508 bytes
    EXPECT_STREQ(imp(got[6]).cLogContent, "still here");
    // The module counts a record just after handing it on.
    ASSERT_TRUE(eventually([] { return counts().received == 8 && counts().delivered == 7; }));
    udp_counts c = counts();
    EXPECT_EQ(c.malformed, 1u);
    EXPECT_EQ(c.dropped_full, 0u);
}

TEST_F(UdpModule, BurstIsQueuedWhileCallbackHolds)
{
    constexpr int burst = 20000;
    set_hold(true);
    for (int i = 0; i < burst; ++i)
        send(native_datagram(5, 0, "burst", "n " + std::to_string(i), ""));
    ASSERT_TRUE(eventually([] { return counts().received == burst; }));
    udp_counts held = counts();
    EXPECT_EQ(held.dropped_full, 0u);
    EXPECT_GE(held.queue_peak, uint64_t{burst - 1});
    EXPECT_EQ(held.delivered, 0u);
    set_hold(false);
    auto got = wait_records(burst);
    ASSERT_EQ(got.size(), std::size_t{burst});
    for (int i = 0; i < burst; ++i)
        ASSERT_EQ(imp(got[i]).cLogContent, "n " + std::to_string(i));
}

TEST_F(UdpModule, StartStopAndPortChoice)
{
    EXPECT_EQ(api().start(on_record), -1);  // already running
    api().stop();
    EXPECT_EQ(api().port(), -1);
    int taken = udp_socket("0.0.0.0", port_);
    ASSERT_GE(taken, 0);
    EXPECT_EQ(api().start(on_record), -1);  // port in use
    close(taken);
    ASSERT_EQ(api().start(on_record), 0);
    send("<13>again");
    EXPECT_EQ(wait_records(1).size(), 1u);
    api().stop();
    fs::remove(dir_ / "config");
    if (int probe = udp_socket("0.0.0.0", 20000); probe >= 0) {
        close(probe);
        ASSERT_EQ(api().start(on_record), 0);
        EXPECT_EQ(api().port(), 20000);
    }
}

TEST_F(UdpModule, StopDoesNotHangOnCallbackThatNeverReturns)
{
    set_hold(true);
    send("<13>held");
    ASSERT_TRUE(eventually([] { return g_entered == 1; }));
    api().stop();  // gives up on the callback after a while
    ASSERT_EQ(api().start(on_record), 0);  // the port is free again
    set_hold(false);
    send("<13>after");
    auto got = wait_records(2);
    ASSERT_EQ(got.size(), 2u);
    std::set<std::string> texts = {imp(got[0]).cLogContent, imp(got[1]).cLogContent};
    EXPECT_EQ(texts, (std::set<std::string>{"held", "after"}));  // the two threads race
}

// Routers 127.0.0.2 to 127.0.0.9; "allow_routers" names 127.0.0.4 and the
// block 127.0.0.8/30 (8 to 11), with comments and a line that does not parse.
TEST_F(UdpModule, OnlyRoutersOfTheAllowListAreHeard)
{
    api().stop();
    std::ofstream(dir_ / "allow_routers") << "# routers\n127.0.0.4   # the gateway\n"
                                             "127.0.0.8/30\n127.0.0.5/33\n";
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(api().start(on_record), 0);
    for (int last = 2; last <= 9; ++last) {
        std::string addr = "127.0.0." + std::to_string(last);
        int fd = udp_socket(addr.c_str());
        ASSERT_GE(fd, 0);
        send_to(fd, port_, native_datagram(4, 1, "u", "from " + addr, ""));
        send_to(fd, port_, "<13>syslog from " + addr);
        close(fd);
    }
    ASSERT_TRUE(eventually([] { return counts().received == 16; }));
    ASSERT_TRUE(eventually([] { return g_got.size() == 6; }));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("allow_routers: line 4 ignored, not an IPv4 address or CIDR block: "
                       "\"127.0.0.5/33\""),
              std::string::npos)
        << err;
    std::set<uint32_t> heard;
    for (const auto& r : wait_records(6)) {
        heard.insert(r.dwIP);
        EXPECT_TRUE(std::string(imp(r).cLogContent).ends_with(
            "from 127.0.0." + std::to_string(r.dwIP >> 24)));
    }
    EXPECT_EQ(heard, (std::set<uint32_t> {loopback_dwip(4), loopback_dwip(8), loopback_dwip(9)}));
    udp_counts c = counts();
    EXPECT_EQ(c.refused, 10u);
    EXPECT_EQ(c.delivered, 6u);
    EXPECT_EQ(c.malformed, 0u);
}

// A file without a valid line turns every router away, and says so; without
// the file (removed while the receiver runs) every router is heard again.
TEST_F(UdpModule, AllowListWithoutValidLineRefusesEveryone)
{
    api().stop();
    std::ofstream(dir_ / "allow_routers") << "# filled in later\n";
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(api().start(on_record), 0);
    send("<13>refused");
    ASSERT_TRUE(eventually([] { return counts().received == 1; }));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("allow_routers holds no valid line: every router is refused"),
              std::string::npos)
        << err;
    EXPECT_EQ(counts().refused, 1u);
    EXPECT_EQ(wait_records(0).size(), 0u);
    fs::remove(dir_ / "allow_routers");
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    send("<13>heard");
    auto got = wait_records(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_STREQ(imp(got[0]).cLogContent, "heard");
}
