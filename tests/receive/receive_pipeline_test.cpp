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
#include "modules/record_sink.h"
#include "modules/udp/test_datagrams.h"
#include "support/browse_window.h"
#include "support/gui_support.h"
#include "support/loopback.h"
#include "support/scratch_dir.h"
#include "support/test_db.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

std::string dw_ip(int last) { return std::to_string(loopback_dwip(last)); }

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
        return eventually([&] { return pump_events(), done(); }, limit);
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
    send("127.0.0.4", native_datagram(2, 0, "u", "two", "n"));
    send("127.0.0.4", native_datagram(7, 0, "u", "seven", "n"));
    const std::string logger =
        "logger -n 127.0.0.1 -P " + std::to_string(port_) + " -d --rfc3164 -t pppd 'link up eth0'";
    ASSERT_EQ(system(logger.c_str()), 0);
    ASSERT_TRUE(wait_rows(1)) << "a lone record is stored at once; types 2 and 7 are not";
    const std::string x493(493, 'x');
    send("127.0.0.2", native_datagram(1, 0x0A000001, "alice", "a syslog.warnat c " + x493, "n"));
    send("127.0.0.3", native_datagram(4, 0, "bob", "qqq zzz", "n"));
    ASSERT_TRUE(wait_rows(3));

    EXPECT_EQ(admin_.rows("select dwIP, dwLogType, dwSourceIP, cLogUser from LogDB.LogTab "
                          "order by id_inc"),
              (std::vector<std::string> {dw_ip(1) + "|5|0|pppd", dw_ip(2) + "|1|167772161|alice",
                                         dw_ip(3) + "|4|167772161|bob"}))
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
        send(addr.c_str(), native_datagram(5, 0x0A000001, "u", "record from " + addr, "n"));
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
              dw_ip(3) + "," + dw_ip(8) + "," + dw_ip(9));
    // Five datagrams and five sessions refused, on the disk panel's drop line.
    EXPECT_EQ(routers_refused(), 10u);
    EXPECT_EQ(disk_drop_counter(), records_not_stored() + 10u);
}
