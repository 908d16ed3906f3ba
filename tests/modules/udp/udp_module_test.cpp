// The whole receiver, loaded from the run directory as the program loads it,
// fed over loopback, in a scratch working directory whose "config" names a
// free port.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "modules/record_sink.h"
#include "support/run_module.h"
#include "support/scratch_dir.h"
#include "test_datagrams.h"
#include "udp_module.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using strings = std::vector<std::string>;

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

strings range(int from, int to)
{
    strings out;
    for (int i = from; i < to; ++i)
        out.push_back("r " + std::to_string(i));
    return out;
}

class UdpModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(start_module && stop_module && get_counts && bound_port);
        std::string config(500, '\0');
        config.replace(400, 5, std::to_string(port_));
        write_file("config", config);
        run();
    }
    void TearDown() override
    {
        sink::hold(false);
        stop_module();
        close(sender_);
        sink::reset();
        unsetenv("LOGSERVER_UDP_QUEUE_RECORDS");
        unsetenv("LOGSERVER_UDP_QUEUE_MIN_FREE_MB");
    }
    void run()
    {
        ASSERT_EQ(start_module(sink::take), 0);
        ASSERT_EQ(bound_port(), port_);
    }
    void send(std::string_view d)
    {
        sockaddr_in a {AF_INET, htons(port_), {htonl(INADDR_LOOPBACK)}, {}};
        ASSERT_EQ(sendto(sender_, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a),
                  static_cast<ssize_t>(d.size()));
    }
    // Sends range(from, to) as native records, waiting for the receiver
    // every 500 so the socket never overflows.
    void send_range(int from, int to)
    {
        const uint64_t before = counts().received;
        for (int i = from; i < to; ++i) {
            send(native_datagram(5, 0, "q", "r " + std::to_string(i), ""));
            if ((i - from) % 500 == 499 || i + 1 == to) {
                ASSERT_TRUE(
                    eventually([&] { return counts().received == before + (i + 1 - from); }));
            }
        }
    }

    scratch_dir dir_;
    const uint16_t port_ = static_cast<uint16_t>(free_port());
    const int sender_ = socket(AF_INET, SOCK_DGRAM, 0);
};

}  // namespace

// An empty datagram, one of the largest size, then a native record: the
// receiver counts the first, cuts the second and goes on.
TEST_F(UdpModule, HostileInputIsDeliveredAndReceiverGoesOn)
{
    send("");
    std::string big = "<13>" + repeat("\xF0\x9F\x98\x80", 20000);
    big.resize(65507, 'z');
    send(big);
    send(native_datagram(5, 1, "u", "still here", ""));
    ASSERT_TRUE(eventually([] { return counts().received == 3 && counts().delivered == 2; }));
    EXPECT_EQ(sink::contents(), (strings {repeat("\xF0\x9F\x98\x80", 127), "still here"}));
    EXPECT_EQ(counts().malformed, 1u);
}

TEST_F(UdpModule, StartStopAndPortChoice)
{
    EXPECT_EQ(start_module(sink::take), -1) << "already running";
    stop_module();
    EXPECT_EQ(bound_port(), -1);
    int taken = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a {AF_INET, htons(port_), {htonl(INADDR_ANY)}, {}};
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(start_module(sink::take), -1) << "port in use";
    close(taken);
    ASSERT_EQ(start_module(sink::take), 0);

    // A callback that never returns holds neither stop nor the next start.
    sink::hold(true);
    send("<13>held");
    ASSERT_TRUE(eventually([] { return sink::calls() == 1; }));
    stop_module();
    ASSERT_EQ(start_module(sink::take), 0) << "the port is free again";
    sink::hold(false);
    send("<13>after");
    ASSERT_TRUE(eventually([] { return sink::count() == 2; })) << "the held record too";
    stop_module();

    fs::remove("config");
    if (free_port_detail::bindable(20000, SOCK_DGRAM)) {
        ASSERT_EQ(start_module(sink::take), 0);
        EXPECT_EQ(bound_port(), 20000) << "the default port";
    }
}

// Records beyond a memory queue of 100 go to the queue file and come out in
// order; stopped with records in the callback, in memory and in the file,
// what the stop kept comes first at the next start, before records arriving
// meanwhile. With the disk too low the file takes nothing.
TEST_F(UdpModule, QueueFileTakesBurstsInOrderAcrossAStopOrDropsAndCountsOnALowDisk)
{
    stop_module();
    setenv("LOGSERVER_UDP_QUEUE_RECORDS", "100", 1);
    run();
    sink::hold(true);
    send_range(0, 3000);
    EXPECT_LE(counts().queue_peak, 100u) << "memory holds only its 100 records";
    ASSERT_TRUE(eventually([] { return counts().waiting == 2999; }));
    // Stop gives up on the held callback after a while, so that record is
    // released first and counts as delivered.
    std::thread release([] {
        std::this_thread::sleep_for(100ms);
        sink::hold(false);
    });
    stop_module();
    release.join();
    const udp_counts stopped = counts();
    EXPECT_EQ(stopped.kept + stopped.delivered, 3000u);
    ASSERT_TRUE(fs::exists("udp.queue"));

    const std::size_t first_run = sink::count();
    run();
    EXPECT_EQ(counts().restored, 3000u - first_run);
    send_range(3000, 3500);
    ASSERT_TRUE(eventually([] { return sink::count() >= 3500; }));
    EXPECT_EQ(sink::contents(), range(0, 3500));
    EXPECT_EQ(counts().waiting, 0u);
    stop_module();
    EXPECT_FALSE(fs::exists("udp.queue")) << "an empty queue leaves no file";

    setenv("LOGSERVER_UDP_QUEUE_MIN_FREE_MB", "1000000000", 1);  // no disk has that much
    sink::reset();
    run();
    sink::hold(true);
    send_range(0, 1);
    ASSERT_TRUE(eventually([] { return counts().waiting == 0; })) << "the first is in the callback";
    send_range(1, 300);
    const udp_counts held = counts();
    EXPECT_EQ(held.spilled, 0u);
    EXPECT_EQ(held.dropped_full, 300u - 100u - 1u) << "one in the callback, 100 in memory";
    sink::hold(false);
    ASSERT_TRUE(eventually([] { return sink::count() >= 101; }));
    EXPECT_EQ(sink::contents(), range(0, 101));
}
