// Nothing received is lost: the whole program runs in child processes that
// share one working directory, fed over loopback, while the test kills and
// restarts the test database and quits the program every way there is. Every
// record sent must end up in LogTab exactly once, in the order it was sent.
#include "app/main.h"
#include "base/config.h"
#include "base/stored_clock.h"
#include "base/udp_counts.h"
#include "disk/disk_info.h"
#include "gui/message_box.h"
#include "receive/udp.h"
#include "support/loopback.h"
#include "support/scratch_dir.h"
#include "support/test_db.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Whether some process listens on the UDP port (it cannot be bound).
bool udp_port_taken(int port)
{
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool taken = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0;
    close(s);
    return taken;
}

std::string seq_text(int i)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "seq=%06d", i);
    return buf;
}

// A short RFC 3164 message whose text is "seq=NNNNNN".
std::string message(int i) { return "<13>r1 t: " + seq_text(i); }

// Polls `done` up to `limit`; a limit only against hanging, never a
// measurement.
bool eventually(const std::function<bool()>& done, std::chrono::seconds limit = 120s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return done();
}

// Files in the working directory ask the program in a child to quit through
// the menu or to read a low disk.
std::optional<std::uint64_t> g_disk_kb = 50000ull * 1024;
std::optional<std::uint64_t> stub_disk() { return g_disk_kb; }

gboolean watch_requests(gpointer)
{
    if (fs::exists("quit-by-menu")) {
        fs::remove("quit-by-menu");
        func1(nullptr, nullptr);  // the menu's exit item; the question is answered OK
    }
    if (fs::exists("low-disk")) {
        fs::remove("low-disk");
        g_disk_kb = 100ull * 1024;
        func1_disk(nullptr);  // the next check: below 200 MB, does not return
    }
    return TRUE;
}

class NothingLost : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TEST_DB();
        port_ = free_port();
        ASSERT_TRUE(prepare_run_dir(dir_.path(), port_));
        // An empty LogTab; a LogDB without it is left for the program to make.
        if (admin_.scalar("select count(*) from information_schema.TABLES where "
                          "TABLE_SCHEMA = 'LogDB' and TABLE_NAME = 'LogTab'") == "1")
            admin_.exec("truncate table LogDB.LogTab");
        else
            admin_.exec("drop database if exists LogDB");
        sender_ = socket(AF_INET, SOCK_DGRAM, 0);
        int big = 8 << 20;
        setsockopt(sender_, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    }

    void TearDown() override
    {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (sender_ >= 0)
            close(sender_);
        // The server stays up for the tests after this one.
        if (!server_answers())
            restart_server();
    }

    // Starts the whole program in a child in the working directory and
    // waits until it receives; `queue_records` sizes the receiver's memory
    // queue (LOGSERVER_UDP_QUEUE_RECORDS).
    void start_program(const char* queue_records = nullptr)
    {
        ASSERT_EQ(child_, -1);
        std::fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            alarm(300);  // against a hang only
            if (queue_records)
                setenv("LOGSERVER_UDP_QUEUE_RECORDS", queue_records, 1);
            set_dialog_answerer([](GtkDialog*) { return static_cast<int>(GTK_RESPONSE_OK); });
            disk_free_reader = stub_disk;
            g_idle_add(
                +[](gpointer) -> gboolean {
                    g_timeout_add(20, watch_requests, nullptr);
                    return FALSE;
                },
                nullptr);
            char name[] = "logserver";
            char* argv[] = {name, nullptr};
            int status = logserver_main(1, argv);
            udp_counts c {};
            udp_counts_get(&c);
            std::ofstream("counts.txt")
                << c.spilled << ' ' << c.dropped_full << ' ' << c.kept << '\n';
            std::fflush(nullptr);
            _exit(status);
        }
        ASSERT_GT(pid, 0);
        child_ = pid;
        ASSERT_TRUE(eventually([&] { return udp_port_taken(port_); }, 60s))
            << "the program came up";
    }

    // Waits for the program to end by itself; its exit status.
    int wait_program()
    {
        int status = 0;
        const bool ended = eventually(
            [&] {
                pid_t r = waitpid(child_, &status, WNOHANG);
                return r == child_;
            },
            60s);
        if (!ended)
            return -2;
        child_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int quit_by_signal(int sig = SIGTERM)
    {
        kill(child_, sig);
        return wait_program();
    }

    void send(int from, int to, std::chrono::microseconds gap = 0us)
    {
        const sockaddr_in dst = loopback_address("127.0.0.1", port_);
        const auto* peer = reinterpret_cast<const sockaddr*>(&dst);
        auto next = std::chrono::steady_clock::now();
        for (int i = from; i < to; ++i) {
            const std::string m = message(i);
            while (sendto(sender_, m.data(), m.size(), 0, peer, sizeof dst) < 0 &&
                   (errno == ENOBUFS || errno == EAGAIN || errno == EINTR)) { }
            if (gap.count()) {
                next += gap;
                std::this_thread::sleep_until(next);
            }
        }
    }

    long long rows()
    {
        admin_db db;  // a connection of its own: the server may have restarted
        return std::atoll(db.scalar("select count(*) from LogDB.LogTab").c_str());
    }

    // Every record sent, once, in the order it was sent, with receive times
    // that follow that order and fall within the test.
    void expect_all_once_in_order(int n)
    {
        std::vector<std::string> texts;
        std::vector<unsigned> times;
        admin_db db;  // the server may have restarted since SetUp
        for (const auto& r :
             db.rows("select cLogContent, time from LogDB.LogTab order by id_inc")) {
            texts.push_back(r.substr(0, r.find('|')));
            times.push_back(static_cast<unsigned>(std::stoul(r.substr(r.find('|') + 1))));
        }
        std::vector<std::string> want;
        for (int i = 0; i < n; ++i)
            want.push_back(seq_text(i));
        EXPECT_EQ(texts.size(), want.size());
        EXPECT_TRUE(texts == want) << "every record once, in the order it was sent";
        for (std::size_t i = 1; i < times.size(); ++i)
            ASSERT_LE(times[i - 1], times[i]) << "receive times follow the order, at row " << i;
        if (!times.empty()) {
            EXPECT_GE(times.front(), started_);
            EXPECT_LE(times.back(), stored_time_now());
        }
    }

    std::string datadir() { return test_db_env("LOGSERVER_TEST_DB_DATADIR"); }

    bool server_answers()
    {
        MYSQL* m = mysql_init(nullptr);
        unsigned timeout = 2;
        mysql_options(m, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
        const unsigned port =
            static_cast<unsigned>(std::atoi(test_db_env("LOGSERVER_TEST_DB_PORT").c_str()));
        const bool ok =
            mysql_real_connect(m, "127.0.0.1", "root", "", nullptr, port, nullptr, 0) != nullptr;
        mysql_close(m);
        return ok;
    }

    // SIGKILL for the test server (by its pid file), and waits until it is gone.
    void kill_server()
    {
        std::ifstream in(datadir() + "/server.pid");
        pid_t pid = 0;
        in >> pid;
        ASSERT_GT(pid, 0);
        ASSERT_EQ(kill(pid, SIGKILL), 0);
        ASSERT_TRUE(eventually([&] {
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string line;
            if (!std::getline(stat, line))
                return true;
            return line.find(") Z ") != std::string::npos;
        }));
        ASSERT_FALSE(server_answers());
    }

    void restart_server()
    {
        const std::string cmd = std::string(SOURCE_DIR) + "/scripts/mariadb_restart.sh '" +
            datadir() + "' " + test_db_env("LOGSERVER_TEST_DB_PORT") + " '" +
            test_db_env("LOGSERVER_TEST_DB_SOCKET") + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }

    // Rows are waiting in the spool file.
    bool spool_holds_rows()
    {
        std::error_code ec;
        return fs::exists("insert.spool") && fs::file_size("insert.spool", ec) > 96;
    }

    // Quits with the database away while records wait, then starts again
    // with it back: everything is stored.
    void quit_with_database_away(const std::function<int()>& quit)
    {
        start_program();
        send(0, 200);
        ASSERT_TRUE(eventually([&] { return rows() == 200; }));
        kill_server();
        send(200, 400);
        ASSERT_TRUE(eventually([&] { return spool_holds_rows(); })) << "rows go to the spool";
        send(400, 500);
        EXPECT_EQ(quit(), 0) << "the program quits with status 0";
        EXPECT_TRUE(spool_holds_rows() || fs::exists("udp.queue"));
        restart_server();
        start_program();
        ASSERT_TRUE(eventually([&] { return rows() >= 500; })) << "stored at the next start";
        send(500, 600);
        ASSERT_TRUE(eventually([&] { return rows() >= 600; }));
        EXPECT_EQ(quit_by_signal(), 0);
        expect_all_once_in_order(600);
        EXPECT_FALSE(spool_holds_rows());
    }

    void quit_after_burst(int n, const std::function<int()>& quit)
    {
        start_program();
        send(0, n);
        EXPECT_EQ(quit(), 0) << "every way out ends with status 0";
        start_program();
        ASSERT_TRUE(eventually([&] { return rows() >= n; })) << rows();
        EXPECT_EQ(quit_by_signal(), 0);
        expect_all_once_in_order(n);
    }

    scratch_dir dir_;
    admin_db admin_;
    int port_ = 0;
    int sender_ = -1;
    pid_t child_ = -1;
    unsigned started_ = stored_time_now();
};

}  // namespace

TEST_F(NothingLost, DatabaseKilledWhileRecordsStreamIn)
{
    start_program();
    constexpr int total = 4000;
    std::atomic<int> sent {0};
    // 500 records a second, on a thread of their own, all through the outage.
    std::thread sender([&] {
        for (int i = 0; i < total; i += 10) {
            send(i, i + 10);
            sent = i + 10;
            std::this_thread::sleep_for(20ms);
        }
    });
    ASSERT_TRUE(eventually([&] { return rows() >= 300; }));
    kill_server();
    std::this_thread::sleep_for(5s);
    restart_server();
    sender.join();
    ASSERT_TRUE(eventually([&] { return rows() >= total; })) << rows();
    EXPECT_EQ(quit_by_signal(), 0);
    expect_all_once_in_order(total);
    EXPECT_FALSE(spool_holds_rows()) << "the spool is emptied once stored";
}

TEST_F(NothingLost, QuitBySigtermWithTheDatabaseAwaySpoolsAndTheNextStartStores)
{
    quit_with_database_away([&] { return quit_by_signal(SIGTERM); });
}

TEST_F(NothingLost, QuitFromTheMenuWithTheDatabaseAwaySpoolsAndTheNextStartStores)
{
    quit_with_database_away([&] {
        std::ofstream("quit-by-menu") << "";
        return wait_program();
    });
}

// Quit right after a burst: what was not stored at once is stored at the
// next start.
TEST_F(NothingLost, SigintQuitsAndKeepsEverything)
{
    quit_after_burst(3000, [&] { return quit_by_signal(SIGINT); });
}

TEST_F(NothingLost, SigtermRightAfterABurstOf50000)
{
    quit_after_burst(50000, [&] { return quit_by_signal(SIGTERM); });
}

TEST_F(NothingLost, LowDiskEndStoresWhatWasQueued)
{
    quit_after_burst(2000, [&] {
        std::ofstream("low-disk") << "";
        return wait_program();
    });
}

TEST_F(NothingLost, BurstLargerThanTheMemoryQueueIsStoredWholeAndInOrder)
{
    start_program("100");
    send(0, 20000);
    ASSERT_TRUE(eventually([&] { return rows() >= 20000; })) << rows();
    EXPECT_EQ(quit_by_signal(), 0);
    expect_all_once_in_order(20000);
    unsigned long long spilled = 0, dropped = 0;
    std::ifstream("counts.txt") >> spilled >> dropped;
    EXPECT_GT(spilled, 0u) << "the queue file took what memory could not";
    EXPECT_EQ(dropped, 0u);
}
