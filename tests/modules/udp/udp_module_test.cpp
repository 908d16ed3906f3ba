// The whole receiver, loaded from the run directory as the program loads it,
// fed over loopback, in a scratch working directory whose "config" names a
// free port.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "modules/record_sink.h"
#include "support/run_module.h"
#include "support/scratch_dir.h"
#include "test_datagrams.h"
#include "udp_module.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

auto* const start_module = module_entry<decltype(start_udp)>("udp.so", "start_udp");
auto* const stop_module = module_entry<decltype(stop_udp)>("udp.so", "stop_udp");
auto* const get_counts = module_entry<decltype(udp_get_counts)>("udp.so", "udp_get_counts");
auto* const bound_port = module_entry<decltype(udp_bound_port)>("udp.so", "udp_bound_port");

udp_counts counts()
{
    udp_counts c {};
    get_counts(&c);
    return c;
}

// A UDP socket bound to `addr`:`port`, -1 when that is taken.
int udp_socket(const char* addr, uint16_t port = 0)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a {AF_INET, htons(port), {}, {}};
    inet_pton(AF_INET, addr, &a.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void send_to(int fd, uint16_t port, std::string_view d)
{
    sockaddr_in a {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    ASSERT_EQ(sendto(fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a),
              static_cast<ssize_t>(d.size()));
}

class UdpModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(start_module && stop_module && get_counts && bound_port);
        port_ = free_port();
        std::string config(500, '\0');
        config.replace(400, 5, std::to_string(port_));
        write_file("config", config);
        sender_ = udp_socket("127.0.0.1");
        run();
    }
    void TearDown() override
    {
        sink::hold(false);
        stop_module();
        close(sender_);
        sink::reset();
    }
    void run()
    {
        ASSERT_EQ(start_module(sink::take), 0);
        ASSERT_EQ(bound_port(), port_);
    }
    void send(std::string_view d) { send_to(sender_, port_, d); }

    scratch_dir dir_;
    uint16_t port_ = 0;
    int sender_ = -1;
};

// The disk-assisted queue behind a memory queue of 100 records.
class QueueFile : public UdpModule {
protected:
    void SetUp() override
    {
        setenv("LOGSERVER_UDP_QUEUE_RECORDS", "100", 1);
        UdpModule::SetUp();
    }
    void TearDown() override
    {
        UdpModule::TearDown();
        unsetenv("LOGSERVER_UDP_QUEUE_RECORDS");
        unsetenv("LOGSERVER_UDP_QUEUE_MIN_FREE_MB");
    }

    // Sends "r from" .. "r to-1", waiting for the receiver every 500 so the
    // socket never overflows.
    void send_range(int from, int to)
    {
        const uint64_t before = counts().received;
        for (int i = from; i < to; ++i) {
            send(native_datagram(5, 0, "q", "r " + std::to_string(i), ""));
            const uint64_t sent = before + (i - from + 1);
            if ((i - from) % 500 == 499 || i + 1 == to) {
                ASSERT_TRUE(eventually([&] { return counts().received == sent; }));
            }
        }
    }
    static std::vector<std::string> range(int from, int to)
    {
        std::vector<std::string> out;
        for (int i = from; i < to; ++i)
            out.push_back("r " + std::to_string(i));
        return out;
    }
};

}  // namespace

// Unterminated full fields, text in neither encoding, an empty datagram and
// one of the largest size: delivered or counted, and the receiver goes on.
// (Decoding itself: the syslog record tests.)
TEST_F(UdpModule, HostileInputIsDeliveredAndReceiverGoesOn)
{
    send(native_datagram(5, 1, std::string(32, 'U'), std::string(512, 'C'), std::string(64, 'N'), 0,
                         0xFFFFFFFF));
    send("<13>bad \xFF\xFE utf");
    send("");
    std::string big = "<13>" + repeat("\xF0\x9F\x98\x80", 20000);
    big.resize(65507, 'z');
    send(big);
    send("<13>still here");
    ASSERT_TRUE(eventually([] { return counts().received == 5 && counts().delivered == 4; }));
    const auto got = sink::records();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(std::string(imp(got[0]).cLogUser), std::string(31, 'U'));
    EXPECT_EQ(std::string(imp(got[0]).cLogContent), std::string(511, 'C'));
    EXPECT_EQ(std::string(imp(got[0]).cLogNote), std::string(63, 'N'));
    EXPECT_EQ(got[0].dwIP, loopback_dwip(1));
    EXPECT_STREQ(imp(got[1]).cLogContent, "bad \xEF\xBF\xBD\xEF\xBF\xBD utf");
    EXPECT_EQ(std::string(imp(got[2]).cLogContent), repeat("\xF0\x9F\x98\x80", 127));  // 508 bytes
    EXPECT_STREQ(imp(got[3]).cLogContent, "still here");
    EXPECT_EQ(counts().malformed, 1u);
}

// The default memory queue takes a burst of 20,000 while the program is busy.
TEST_F(UdpModule, BurstIsQueuedWhileCallbackHolds)
{
    constexpr int burst = 20000;
    sink::hold(true);
    for (int i = 0; i < burst; ++i)
        send(native_datagram(5, 0, "burst", "n " + std::to_string(i), ""));
    ASSERT_TRUE(eventually([] { return counts().received == burst; }));
    udp_counts held = counts();
    EXPECT_EQ(held.dropped_full, 0u);
    EXPECT_GE(held.queue_peak, uint64_t {burst - 1});
    EXPECT_EQ(held.delivered, 0u);
    sink::hold(false);
    ASSERT_TRUE(eventually([] { return sink::count() == burst; }));
    const auto got = sink::contents();
    for (int i = 0; i < burst; ++i)
        ASSERT_EQ(got[i], "n " + std::to_string(i));
}

TEST_F(UdpModule, StartStopAndPortChoice)
{
    EXPECT_EQ(start_module(sink::take), -1) << "already running";
    stop_module();
    EXPECT_EQ(bound_port(), -1);
    int taken = udp_socket("0.0.0.0", port_);
    ASSERT_GE(taken, 0);
    EXPECT_EQ(start_module(sink::take), -1) << "port in use";
    close(taken);
    ASSERT_EQ(start_module(sink::take), 0);
    send("<13>again");
    EXPECT_TRUE(eventually([] { return sink::count() == 1; }));
    stop_module();
    fs::remove("config");
    if (int probe = udp_socket("0.0.0.0", 20000); probe >= 0) {
        close(probe);
        ASSERT_EQ(start_module(sink::take), 0);
        EXPECT_EQ(bound_port(), 20000);
    }
}

TEST_F(UdpModule, StopDoesNotHangOnCallbackThatNeverReturns)
{
    sink::hold(true);
    send("<13>held");
    ASSERT_TRUE(eventually([] { return sink::calls() == 1; }));
    stop_module();  // gives up on the callback after a while
    ASSERT_EQ(start_module(sink::take), 0) << "the port is free again";
    sink::hold(false);
    send("<13>after");
    ASSERT_TRUE(eventually([] { return sink::count() == 2; }));
    const auto got = sink::contents();
    EXPECT_EQ(std::set<std::string>(got.begin(), got.end()),
              (std::set<std::string> {"held", "after"}))
        << "the two threads race";
}

// Routers 127.0.0.2 to 127.0.0.9, a native record and a syslog message each;
// "allow_routers" names 127.0.0.4 and the block 127.0.0.8/30 (8 to 11). The
// others are counted and delivered nothing. (Parsing and reporting the file:
// the allow-list tests in tests/base.)
TEST_F(UdpModule, OnlyRoutersOfTheAllowListAreHeard)
{
    stop_module();
    write_file("allow_routers", "127.0.0.4\n127.0.0.8/30\n");
    run();
    for (int last = 2; last <= 9; ++last) {
        std::string addr = "127.0.0." + std::to_string(last);
        int fd = udp_socket(addr.c_str());
        ASSERT_GE(fd, 0);
        send_to(fd, port_, native_datagram(4, 1, "u", "from " + addr, ""));
        send_to(fd, port_, "<13>syslog from " + addr);
        close(fd);
    }
    ASSERT_TRUE(eventually([] { return counts().received == 16 && sink::count() == 6; }));
    std::set<uint32_t> heard;
    for (const auto& r : sink::records()) {
        heard.insert(r.dwIP);
        EXPECT_TRUE(std::string(imp(r).cLogContent)
                        .ends_with("from 127.0.0." + std::to_string(r.dwIP >> 24)));
    }
    EXPECT_EQ(heard, (std::set<uint32_t> {loopback_dwip(4), loopback_dwip(8), loopback_dwip(9)}));
    EXPECT_EQ(counts().refused, 10u);
}

TEST_F(QueueFile, BurstBeyondTheMemoryQueueIsDeliveredWholeAndInOrder)
{
    sink::hold(true);
    send_range(0, 3000);
    udp_counts held = counts();
    EXPECT_EQ(held.dropped_full, 0u);
    EXPECT_LE(held.queue_peak, 100u) << "memory holds only its 100 records";
    EXPECT_GE(held.spilled, 2899u) << "the rest went to the queue file";
    EXPECT_TRUE(fs::exists("udp.queue"));
    sink::hold(false);
    // More records while the file is being delivered go behind it.
    send_range(3000, 3500);
    ASSERT_TRUE(eventually([] { return sink::count() >= 3500; }));
    EXPECT_EQ(sink::contents(), range(0, 3500));
    EXPECT_EQ(counts().waiting, 0u);
}

// Stopped with records in the callback, in memory and in the file: what the
// stop kept comes first at the next start, memory before file.
TEST_F(QueueFile, WhatIsQueuedAtStopIsDeliveredFirstAtTheNextStart)
{
    sink::hold(true);
    send_range(0, 1000);
    // Stop gives up on the held callback after a while, so that record is
    // released first and counts as delivered.
    ASSERT_TRUE(eventually([] { return counts().waiting == 999; }));
    std::thread release([] {
        std::this_thread::sleep_for(100ms);
        sink::hold(false);
    });
    stop_module();
    release.join();
    udp_counts stopped = counts();
    EXPECT_EQ(stopped.kept + stopped.delivered, 1000u);
    ASSERT_TRUE(fs::exists("udp.queue"));

    const std::size_t first_run = sink::count();
    run();
    EXPECT_EQ(counts().restored, 1000u - first_run);
    send_range(1000, 1200);
    ASSERT_TRUE(eventually([] { return sink::count() >= 1200; }));
    EXPECT_EQ(sink::contents(), range(0, 1200));
    stop_module();
    EXPECT_FALSE(fs::exists("udp.queue")) << "an empty queue leaves no file";
}

TEST_F(QueueFile, WithTheDiskTooLowRecordsBeyondMemoryAreDroppedAndCounted)
{
    stop_module();
    setenv("LOGSERVER_UDP_QUEUE_MIN_FREE_MB", "1000000000", 1);  // no disk has that much
    run();
    sink::hold(true);
    send_range(0, 1);
    ASSERT_TRUE(eventually([] { return counts().waiting == 0; })) << "the first is in the callback";
    send_range(1, 300);
    udp_counts held = counts();
    EXPECT_EQ(held.spilled, 0u);
    EXPECT_EQ(held.dropped_full, 300u - 100u - 1u) << "one in the callback, 100 in memory";
    sink::hold(false);
    ASSERT_TRUE(eventually([] { return sink::count() >= 101; }));
    EXPECT_EQ(sink::contents(), range(0, 101));
}
