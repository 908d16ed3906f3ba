// The whole program in child processes sharing one working directory, fed over
// loopback, while the test database is killed and the program quits every way
// there is: every record sent ends up in LogTab once, in the order it was sent.
#include "app/main.h"
#include "base/stored_clock.h"
#include "base/udp_counts.h"
#include "disk/disk_info.h"
#include "gui/message_box.h"
#include "modules/record_sink.h"
#include "receive/udp.h"
#include "support/loopback.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string seq_text(int i) { return "seq=" + std::to_string(i); }

// Files in the working directory ask the program in a child to quit through
// the menu or to read a low disk.
std::optional<std::uint64_t> g_disk_kb = 50000ull * 1024;

gboolean watch_requests(gpointer)
{
    if (fs::remove("quit-by-menu"))
        func1(nullptr, nullptr);  // the menu's exit item; the question is answered OK
    if (fs::remove("low-disk")) {
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
        admin_db().exec("drop database if exists LogDB");  // the program makes it anew
        int big = 8 << 20;
        setsockopt(sender_, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    }

    void TearDown() override
    {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        close(sender_);
        EXPECT_TRUE(test_db_answers() || restart_test_db() == 0);
    }

    // `queue_records` sizes the receiver's memory queue.
    void start_program(const char* queue_records = nullptr)
    {
        std::fflush(nullptr);
        child_ = fork();
        if (child_ == 0) {
            alarm(300);  // against a hang only
            if (queue_records)
                setenv("LOGSERVER_UDP_QUEUE_RECORDS", queue_records, 1);
            set_dialog_answerer([](GtkDialog*) { return static_cast<int>(GTK_RESPONSE_OK); });
            disk_free_reader = [] { return g_disk_kb; };
            g_timeout_add(20, watch_requests, nullptr);
            char name[] = "logserver";
            char* argv[] = {name, nullptr};
            const int status = logserver_main(1, argv);
            udp_counts c {};
            udp_counts_get(&c);
            std::ofstream("counts.txt") << c.spilled << ' ' << c.dropped_full << '\n';
            std::fflush(nullptr);
            _exit(status);
        }
        ASSERT_GT(child_, 0);
        ASSERT_TRUE(eventually([&] { return !free_port_detail::bindable(port_, SOCK_DGRAM); }))
            << "the program came up";
    }

    int wait_program()
    {
        int status = 0;
        if (!eventually([&] { return waitpid(child_, &status, WNOHANG) == child_; }))
            return -2;
        child_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int quit_by_signal(int sig = SIGTERM)
    {
        kill(child_, sig);
        return wait_program();
    }

    // RFC 3164 messages whose texts are "seq=NNNNNN".
    void send(int from, int to)
    {
        const sockaddr_in dst = loopback_address("127.0.0.1", port_);
        for (int i = from; i < to; ++i) {
            const std::string m = "<13>r1 t: " + seq_text(i);
            while (sendto(sender_, m.data(), m.size(), 0, reinterpret_cast<const sockaddr*>(&dst),
                          sizeof dst) < 0 &&
                   (errno == ENOBUFS || errno == EAGAIN || errno == EINTR)) { }
        }
    }

    static long long rows()  // a connection of its own: the server may have restarted
    {
        return std::atoll(admin_db().scalar("select count(*) from LogDB.LogTab").c_str());
    }

    bool stored(long long n)
    {
        return eventually([&] { return rows() >= n; }, 120s);
    }

    // Receive times follow the order sent and fall within the test.
    void expect_all_once_in_order(int n)
    {
        int i = 0;
        unsigned last = started_;
        for (const auto& r :
             admin_db().rows("select cLogContent, time from LogDB.LogTab order by id_inc")) {
            ASSERT_EQ(r.substr(0, r.find('|')), seq_text(i++)) << "every record once, in order";
            const auto time = static_cast<unsigned>(std::stoul(r.substr(r.find('|') + 1)));
            ASSERT_LE(last, time) << "receive times in order and within the test, row " << i;
            last = time;
        }
        EXPECT_EQ(i, n);
        EXPECT_LE(last, stored_time_now());
    }

    void kill_server()
    {
        pid_t pid = 0;
        std::ifstream(test_db_env("LOGSERVER_TEST_DB_DATADIR") + "/server.pid") >> pid;
        ASSERT_GT(pid, 0);
        ASSERT_EQ(kill(pid, SIGKILL), 0);
        ASSERT_TRUE(eventually([] { return !test_db_answers(); }));
    }

    static bool spool_holds_rows()
    {
        std::error_code ec;
        return fs::exists("insert.spool") && fs::file_size("insert.spool", ec) > 96;
    }

    scratch_dir dir_;
    int port_ = 0;
    int sender_ = socket(AF_INET, SOCK_DGRAM, 0);
    pid_t child_ = -1;
    unsigned started_ = stored_time_now();
};

}  // namespace

TEST_F(NothingLost, DatabaseKilledWhileRecordsStreamInOrWhileTheProgramQuits)
{
    start_program();
    constexpr int streamed = 4000;
    // 500 records a second, on a thread of their own, all through the outage.
    std::thread sender([&] {
        for (int i = 0; i < streamed; i += 10) {
            send(i, i + 10);
            std::this_thread::sleep_for(20ms);
        }
    });
    ASSERT_TRUE(stored(300));
    kill_server();
    std::this_thread::sleep_for(5s);
    ASSERT_EQ(restart_test_db(), 0);
    sender.join();
    ASSERT_TRUE(stored(streamed)) << rows();

    int sent = streamed;
    for (const bool by_menu : {true, false}) {
        SCOPED_TRACE(by_menu ? "from the menu" : "by SIGTERM");
        kill_server();
        send(sent, sent + 200);
        ASSERT_TRUE(eventually(spool_holds_rows, 120s)) << "rows go to the spool";
        send(sent + 200, sent + 300);
        sent += 300;
        if (by_menu)
            std::ofstream("quit-by-menu") << "";
        EXPECT_EQ(by_menu ? wait_program() : quit_by_signal(SIGTERM), 0);
        ASSERT_EQ(restart_test_db(), 0);
        start_program();
        ASSERT_TRUE(stored(sent)) << "stored at the next start";
    }
    send(sent, sent + 100);
    ASSERT_TRUE(stored(sent + 100));
    EXPECT_EQ(quit_by_signal(), 0);
    expect_all_once_in_order(sent + 100);
    EXPECT_FALSE(spool_holds_rows()) << "the spool is emptied once stored";
}

TEST_F(NothingLost, BurstsAreStoredWholeAndInOrderWhateverEndsTheProgram)
{
    start_program();
    send(0, 50000);
    EXPECT_EQ(quit_by_signal(SIGTERM), 0) << "SIGTERM right after a burst of 50,000";
    start_program();
    ASSERT_TRUE(stored(50000)) << rows();
    send(50000, 52000);
    std::ofstream("low-disk") << "";
    EXPECT_EQ(wait_program(), 0) << "the low-disk end";
    start_program("100");  // a memory queue of 100 records
    ASSERT_TRUE(stored(52000)) << rows();
    send(52000, 72000);
    ASSERT_TRUE(stored(72000)) << rows();
    EXPECT_EQ(quit_by_signal(SIGINT), 0) << "SIGINT ends the program as SIGTERM does";
    expect_all_once_in_order(72000);
    unsigned long long spilled = 0, dropped = 0;
    std::ifstream("counts.txt") >> spilled >> dropped;
    EXPECT_GT(spilled, 0u) << "the queue file took what memory could not";
    EXPECT_EQ(dropped, 0u);
}
