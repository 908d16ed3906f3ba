// Records through the real receivers, the hand-over, the device tree and the
// database, in this process, whose main loop the test pumps.
#include "companion/extern.h"
#include "browse/tree2.h"
#include "email/python_interface.h"
#include "app/process_package.h"
#include "disk/disk_info.h"
#include "receive/refused.h"
#include "receive/udp.h"
#include "receive/udp_proc.h"
#include "storage/mysql_data.h"
#include "app/mysql_init.h"
#include "support/browse_window.h"
#include "support/gui_support.h"
#include "support/loopback.h"
#include "support/scratch_dir.h"
#include "support/test_db.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

std::string native(uint32_t type, uint32_t source, const std::string& user,
                   const std::string& content)
{
    tagCommunicationData_ r {};
    tagImpMsg_& m = r.msg.impMsg;
    m.dwLogType = type;
    m.dwSourceIP = source;
    user.copy(m.cLogUser, sizeof m.cLogUser);
    content.copy(m.cLogContent, sizeof m.cLogContent);
    std::strcpy(m.cLogNote, "n");
    return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

// dwIP of a dotted address (first octet in the low byte), as stored.
std::string dw_ip(const char* dotted) { return std::to_string(inet_addr(dotted)); }

class Pipeline : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TEST_DB();
        ensure_gtk();
        port_ = free_port();
        ASSERT_TRUE(prepare_run_dir(dir_.path(), port_));
        init_extern_func();
        init_python_1();
        init_python_2();
        init_mysql();
        admin_.exec("truncate table LogDB.LogTab");
        init_tree_2();
        set_record_processor(process_package);
        b_recv = 1;
        udp_thread();
    }

    void TearDown() override
    {
        release_receivers();
        udp_stop();
    }

    void send(const char* from, const std::string& bytes)
    {
        EXPECT_TRUE(send_from(from, port_, bytes)) << from;
    }

    static bool pump_until(const std::function<bool()>& done,
                           std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        for (auto end = std::chrono::steady_clock::now() + limit;
             std::chrono::steady_clock::now() < end; g_usleep(2000)) {
            while (g_main_context_iteration(nullptr, FALSE)) { }
            if (done())
                return true;
        }
        return done();
    }

    // Exactly `n` rows once they are there.
    bool wait_rows(long long n)
    {
        const auto rows = [&] {
            return std::stoll(admin_.scalar("select count(*) from LogDB.LogTab"));
        };
        return pump_until([&] { return rows() >= n; }) && rows() == n;
    }

    scratch_dir dir_;
    admin_db admin_;
    int port_ = 0;
};

}  // namespace

TEST_F(Pipeline, RecordsAreStoredWithTheirTextsAndCountedExceptTypesTwoAndSeven)
{
    send("127.0.0.4", native(2, 0, "u", "two"));
    send("127.0.0.4", native(7, 0, "u", "seven"));
    const std::string logger =
        "logger -n 127.0.0.1 -P " + std::to_string(port_) + " -d --rfc3164 -t pppd 'link up eth0'";
    ASSERT_EQ(system(logger.c_str()), 0);
    ASSERT_TRUE(wait_rows(1)) << "a lone record is stored at once; types 2 and 7 are not";
    const std::string x493(493, 'x');
    send("127.0.0.2", native(1, 0x0A000001, "alice", "a syslog.warnat c " + x493));
    send("127.0.0.3", native(4, 0, "bob", "qqq zzz"));
    ASSERT_TRUE(wait_rows(3));

    // The decoding itself is tested in tests/modules/udp, the texts' making
    // in the core suite.
    EXPECT_EQ(admin_.rows("select dwIP, dwLogType, dwSourceIP, cLogUser from LogDB.LogTab "
                          "order by id_inc"),
              (std::vector<std::string> {dw_ip("127.0.0.1") + "|5|0|pppd",
                                         dw_ip("127.0.0.2") + "|1|167772161|alice",
                                         dw_ip("127.0.0.3") + "|4|167772161|bob"}))
        << "without a source address the previous record's is inherited";
    EXPECT_NE(admin_.scalar("select cLogContent_chinese from LogDB.LogTab where dwLogType = 5")
                  .find("链路"),
              std::string::npos)
        << "looked up in the tables";
    EXPECT_EQ(admin_.rows("select cLogContent, cLogContent_chinese = cLogContent, "
                          "cLogContent_en = cLogContent, cLogContent_fanti = cLogContent, "
                          "cLogNote from LogDB.LogTab where dwLogType <> 5 order by id_inc"),
              (std::vector<std::string> {"a+syslog.warnat+' c '+' " + x493 + " '|1|1|1|n",
                                         "qqq zzz|1|1|1|n"}))
        << "the whole rewrite of a full-length text; unknown words: the text in all three "
           "columns";
    EXPECT_EQ(tree_rows(),
              (std::vector<std::string> {"127.0.0.1 1", "  5 1", "127.0.0.2 1", "  1 1",
                                         "127.0.0.3 1", "  4 1"}));
}

// Routers 127.0.0.2 to 127.0.0.9 send a record and a mail each; "allow_routers"
// names 127.0.0.3 and the block 127.0.0.8/31 (8 and 9). The others leave no
// row, no tree row and no mail file, and are counted as refused.
TEST_F(Pipeline, RoutersOutsideTheAllowListLeaveNothingAndAreCounted)
{
    write_file("allow_routers", "# our routers\n127.0.0.3\n127.0.0.8/31   # the branch\n");
    udp_stop();  // started by SetUp before the file was there
    udp_thread();
    fs::remove(dir_.path() / "mail_save");
    const int smtp_port = free_port();
    write_file("smtp_port", std::to_string(smtp_port));
    ASSERT_TRUE(init_extern_func_4(MyRecvProc_tcp));

    const auto inside = [](int last) { return last == 3 || last >= 8; };
    for (int last = 2; last <= 9; ++last) {
        const std::string addr = "127.0.0." + std::to_string(last);
        send(addr.c_str(), native(5, 0x0A000001, "u", "record from " + addr));
        const std::string replies = smtp_session_from(addr.c_str(), smtp_port, addr);
        if (inside(last))
            EXPECT_NE(replies.find("\r\n250 2.0.0 Ok: stored as "), std::string::npos) << replies;
        else
            EXPECT_TRUE(replies.starts_with("554 ")) << addr << ": " << replies;
        EXPECT_EQ(fs::exists(dir_.path() / "mail_save" / addr), inside(last)) << addr;
    }
    ASSERT_TRUE(wait_rows(3));
    // Records and mails arrive on threads of their own: the tree's rows in
    // any order. A record (type 5) and a mail (type 144) from each allowed router.
    const auto sorted_tree = [] {
        std::vector<std::string> t = tree_rows();
        std::sort(t.begin(), t.end());
        return t;
    };
    const std::vector<std::string> want {"  144 1",     "  144 1",     "  144 1",
                                         "  5 1",       "  5 1",       "  5 1",
                                         "127.0.0.3 2", "127.0.0.8 2", "127.0.0.9 2"};
    EXPECT_TRUE(pump_until([&] { return sorted_tree() == want; }))
        << testing::PrintToString(tree_rows());
    pump_until([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(admin_.scalar("select group_concat(dwIP order by id_inc) from LogDB.LogTab"),
              dw_ip("127.0.0.3") + "," + dw_ip("127.0.0.8") + "," + dw_ip("127.0.0.9"));
    // Five datagrams and five sessions refused, on the disk panel's drop line.
    EXPECT_EQ(routers_refused(), 10u);
    EXPECT_EQ(disk_drop_counter(), records_not_stored() + 10u);
}
