// The router allow-list: parsing, matching, reporting once, reloading. The
// parser's invariants over any bytes are fuzzed (fuzz/allow_list).
#include "base/allow_list.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

constexpr uint32_t addr(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

}  // namespace

TEST(AllowList, AddressesBlocksCommentsAndLinesSetAside)
{
    allow_list l = allow_list::parse("# routers of the fleet\r\n"
                                     "192.168.1.7\r\n"
                                     "  10.1.0.0/16   # branch offices\r\n"
                                     "\t172.16.5.9/30\n"
                                     "\n"
                                     "1.2.3\n"
                                     "1.2.3.256\n"
                                     "1.2.3.4/33\n"
                                     "1.2.3.4/\n"
                                     "01.2.3.4\n"
                                     "1.2.3.4 5.6.7.8\n"
                                     "127.0.0.2/32");
    EXPECT_EQ(l.blocks().size(), 4u);
    ASSERT_EQ(l.problems().size(), 6u);
    EXPECT_EQ(l.problems()[0].line, 6u);
    EXPECT_EQ(l.problems()[0].text, "1.2.3");
    EXPECT_EQ(l.problems()[5].text, "1.2.3.4 5.6.7.8");
    // The host bits of a block's address are ignored: 172.16.5.9/30 is .8 to .11.
    for (uint32_t a : {addr(192, 168, 1, 7), addr(10, 1, 0, 0), addr(10, 1, 255, 255),
                       addr(127, 0, 0, 2), addr(172, 16, 5, 8), addr(172, 16, 5, 11)})
        EXPECT_TRUE(l.allows(a)) << std::hex << a;
    for (uint32_t a : {addr(192, 168, 1, 8), addr(10, 2, 0, 0), addr(127, 0, 0, 3),
                       addr(1, 2, 3, 4), addr(5, 6, 7, 8), addr(172, 16, 5, 12)})
        EXPECT_FALSE(l.allows(a)) << std::hex << a;
}

TEST(AllowList, NoFileAllowsAllAnEmptyOrUnreadableOneNothing)
{
    scratch_dir dir;
    EXPECT_FALSE(allow_list_read("allow_routers").in_force());
    EXPECT_FALSE(allow_list::parse("").allows(addr(127, 0, 0, 1)));
    write_file("allow_routers", "0.0.0.0/0\n");
    allow_list all = allow_list_read("allow_routers");
    EXPECT_TRUE(all.allows(addr(0, 0, 0, 0)));
    EXPECT_TRUE(all.allows(addr(255, 255, 255, 255)));
    // A folder of that name cannot be read: nothing is allowed.
    std::filesystem::remove("allow_routers");
    std::filesystem::create_directory("allow_routers");
    EXPECT_TRUE(allow_list_read("allow_routers").refuses_all());
}

// Both receivers watch the same file: each bad line and the empty list are
// reported once in the process, whoever reads the file first; the report
// names the line and shows its bytes printably.
TEST(AllowList, ProblemsAreReportedOnce)
{
    scratch_dir dir;
    const std::string path = (dir.path() / "allow_routers").string();
    write_file("allow_routers", "127.0.0.2\nrouter\x1b[31m\n");
    ::testing::internal::CaptureStderr();
    allow_watch udp(path);
    allow_watch tcp(path);
    EXPECT_TRUE(udp.allows(addr(127, 0, 0, 2)));
    EXPECT_FALSE(tcp.allows(addr(127, 0, 0, 3)));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              path + ": line 2 ignored, not an IPv4 address or CIDR block: \"router\\x1B[31m\"\n");

    // A new version without a valid line (read again a second after a
    // change): said once, and nothing passes.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    write_file("allow_routers", "# all gone\n");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(udp.allows(addr(127, 0, 0, 2)));
    EXPECT_FALSE(tcp.allows(addr(127, 0, 0, 2)));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              path + " holds no valid line: every router is refused\n");

    // The file removed: everyone again.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    std::filesystem::remove("allow_routers");
    EXPECT_TRUE(udp.allows(addr(203, 0, 113, 9)));
}
