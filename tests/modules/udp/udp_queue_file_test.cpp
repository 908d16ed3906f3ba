// The receiver's disk-assisted queue: a burst beyond the memory queue goes on
// in the queue file and is delivered whole and in order; what is queued at
// stop is kept in the file and delivered first at the next start; with the
// disk too low for the file, records are dropped and counted.

#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
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
};

const module_api& api()
{
    static void* h = dlopen(RUN_DIR "/udp.so", RTLD_NOW);
    auto sym = [](const char* name) { return h != nullptr ? dlsym(h, name) : nullptr; };
    static module_api a{reinterpret_cast<decltype(&start_udp)>(sym("start_udp")),
                        reinterpret_cast<decltype(&stop_udp)>(sym("stop_udp")),
                        reinterpret_cast<decltype(&udp_get_counts)>(sym("udp_get_counts"))};
    return a;
}

std::mutex g_mutex;
std::condition_variable g_changed;
std::vector<std::string> g_got;
bool g_hold = false;

extern "C" void on_record(tagCommunicationData_* p)
{
    std::unique_lock lock(g_mutex);
    g_changed.wait(lock, [] { return !g_hold; });
    g_got.push_back(p->msg.impMsg.cLogContent);
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

template <class Pred>
bool eventually(Pred done)
{
    for (int i = 0; i < 6000; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

std::size_t got_count()
{
    std::lock_guard lock(g_mutex);
    return g_got.size();
}

std::vector<std::string> expected(int from, int to)
{
    std::vector<std::string> out;
    for (int i = from; i < to; ++i)
        out.push_back("r " + std::to_string(i));
    return out;
}

class QueueFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(api().start, nullptr) << dlerror();
        old_dir_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("udp_queue_test_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        fs::current_path(dir_);
        int probe = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(probe, reinterpret_cast<sockaddr*>(&a), &len);
        close(probe);
        port_ = ntohs(a.sin_port);
        std::string config(500, '\0');
        config.replace(400, 5, std::to_string(port_));
        std::ofstream(dir_ / "config", std::ios::binary) << config;
        sender_ = socket(AF_INET, SOCK_DGRAM, 0);
        setenv("LOGSERVER_UDP_QUEUE_RECORDS", "100", 1);
    }
    void TearDown() override
    {
        set_hold(false);
        api().stop();
        close(sender_);
        unsetenv("LOGSERVER_UDP_QUEUE_RECORDS");
        unsetenv("LOGSERVER_UDP_QUEUE_MIN_FREE_MB");
        fs::current_path(old_dir_);
        fs::remove_all(dir_);
        g_got.clear();
    }

    // Sends records "r from" .. "r to-1", each waiting until the receiver
    // has read it, so the socket never overflows.
    void send_range(int from, int to)
    {
        const uint64_t before = counts().received;
        sockaddr_in a{AF_INET, htons(port_), {htonl(INADDR_LOOPBACK)}, {}};
        for (int i = from; i < to; ++i) {
            std::string d = native_datagram(5, 0, "q", "r " + std::to_string(i), "");
            ASSERT_EQ(sendto(sender_, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a),
                      static_cast<ssize_t>(d.size()));
            if ((i - from) % 500 == 499) {
                ASSERT_TRUE(eventually([&] { return counts().received >= before + (i - from + 1); }));
            }
        }
        ASSERT_TRUE(eventually([&] { return counts().received == before + (to - from); }));
    }

    fs::path old_dir_, dir_;
    uint16_t port_ = 0;
    int sender_ = -1;
};

}  // namespace

TEST_F(QueueFile, BurstBeyondTheMemoryQueueIsDeliveredWholeAndInOrder)
{
    set_hold(true);  // the program is busy: nothing is taken meanwhile
    ASSERT_EQ(api().start(on_record), 0);
    send_range(0, 3000);
    udp_counts held = counts();
    EXPECT_EQ(held.dropped_full, 0u);
    EXPECT_LE(held.queue_peak, 100u) << "memory holds only its 100 records";
    EXPECT_GE(held.spilled, 2899u) << "the rest went to the queue file";
    EXPECT_TRUE(fs::exists("udp.queue"));
    set_hold(false);
    // More records while the file is being delivered go behind it.
    send_range(3000, 3500);
    ASSERT_TRUE(eventually([] { return got_count() >= 3500; }));
    std::lock_guard lock(g_mutex);
    EXPECT_EQ(g_got, expected(0, 3500));
    EXPECT_EQ(counts().waiting, 0u);
}

TEST_F(QueueFile, WhatIsQueuedAtStopIsDeliveredFirstAtTheNextStart)
{
    set_hold(true);
    ASSERT_EQ(api().start(on_record), 0);
    send_range(0, 1000);  // 1 in the callback, 100 in memory, the rest in the file
    // The callback holds one record; stop gives up on it after a while, so
    // it is released first and counts as delivered.
    ASSERT_TRUE(eventually([] { return counts().waiting == 999; }));
    std::thread release([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        set_hold(false);
    });
    api().stop();
    release.join();
    udp_counts stopped = counts();
    EXPECT_EQ(stopped.kept + stopped.delivered, 1000u);
    ASSERT_TRUE(fs::exists("udp.queue"));

    const std::size_t first_run = got_count();
    ASSERT_EQ(api().start(on_record), 0);
    EXPECT_EQ(counts().restored, 1000u - first_run);
    send_range(1000, 1200);
    ASSERT_TRUE(eventually([] { return got_count() >= 1200; }));
    {
        std::lock_guard lock(g_mutex);
        EXPECT_EQ(g_got, expected(0, 1200)) << "kept records first, then the new ones";
    }
    api().stop();
    EXPECT_FALSE(fs::exists("udp.queue")) << "an empty queue leaves no file";
}

TEST_F(QueueFile, StopKeepsTheMemoryQueueInFrontOfTheFile)
{
    // Memory alone, then memory and file, each kept in order over two stops.
    set_hold(true);
    ASSERT_EQ(api().start(on_record), 0);
    send_range(0, 50);
    set_hold(false);
    api().stop();
    set_hold(true);
    ASSERT_EQ(api().start(on_record), 0);
    send_range(50, 400);
    set_hold(false);
    api().stop();
    ASSERT_EQ(api().start(on_record), 0);
    ASSERT_TRUE(eventually([] { return got_count() >= 400; }));
    std::lock_guard lock(g_mutex);
    EXPECT_EQ(g_got, expected(0, 400));
}

TEST_F(QueueFile, WithTheDiskTooLowRecordsBeyondMemoryAreDroppedAndCounted)
{
    setenv("LOGSERVER_UDP_QUEUE_MIN_FREE_MB", "1000000000", 1);  // no disk has that much
    set_hold(true);
    ASSERT_EQ(api().start(on_record), 0);
    send_range(0, 1);
    ASSERT_TRUE(eventually([] { return counts().waiting == 0; })) << "the first is in the callback";
    send_range(1, 300);
    udp_counts held = counts();
    EXPECT_EQ(held.spilled, 0u);
    EXPECT_EQ(held.dropped_full, 300u - 100u - 1u) << "one in the callback, 100 in memory";
    set_hold(false);
    ASSERT_TRUE(eventually([] { return got_count() >= 101; }));
    std::lock_guard lock(g_mutex);
    EXPECT_EQ(g_got, expected(0, 101));
}
