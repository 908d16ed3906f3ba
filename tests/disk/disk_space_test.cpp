#include "disk/disk_space.h"

#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace {

const char* const MOUNTS =
    "proc /proc proc rw,relatime 0 0\n"
    "/dev/vda / ext4 rw,relatime 0 0\n"
    "/dev/vdb /home ext4 rw 0 0\n"
    "/dev/vdc /home/op/data xfs rw 0 0\n"
    "/dev/vdd /media/my\\040disk vfat rw 0 0\n"
    "\n";

// Available kilobytes of the working directory as df prints them.
std::optional<std::uint64_t> df_available()
{
    std::FILE* p = popen("df -Pk . 2>/dev/null", "r");
    if (!p)
        return std::nullopt;
    char buf[4096];
    std::string out;
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    if (pclose(p) != 0)
        return std::nullopt;
    std::istringstream in(out);
    std::string header, fs, blocks, used, avail;
    std::getline(in, header);
    if (!(in >> fs >> blocks >> used >> avail))
        return std::nullopt;
    return std::stoull(avail);
}

}  // namespace

TEST(MountPoint, LongestContainingMountWins)
{
    EXPECT_EQ(mount_point_for(MOUNTS, "/home/op/data/logs"), "/home/op/data");
    EXPECT_EQ(mount_point_for(MOUNTS, "/home/op/data"), "/home/op/data");
    EXPECT_EQ(mount_point_for(MOUNTS, "/home/op"), "/home");
    EXPECT_EQ(mount_point_for(MOUNTS, "/srv/logserver"), "/");
    EXPECT_EQ(mount_point_for(MOUNTS, "/"), "/");
}

TEST(MountPoint, WholeComponentsOnly)
{
    // "/home" is no mount point of "/homer" nor "/home/op/database".
    EXPECT_EQ(mount_point_for(MOUNTS, "/homer/x"), "/");
    EXPECT_EQ(mount_point_for(MOUNTS, "/home/op/database"), "/home");
}

TEST(MountPoint, EscapedBlanksAndLongNames)
{
    EXPECT_EQ(mount_point_for(MOUNTS, "/media/my disk/logs"), "/media/my disk");
    EXPECT_EQ(mount_point_for(MOUNTS, "/media/my"), "/");

    std::string deep = "/srv/" + std::string(300, 'a');
    std::string mounts = std::string(MOUNTS) + "/dev/vde " + deep + " ext4 rw 0 0\n";
    EXPECT_EQ(mount_point_for(mounts, deep + "/run"), deep);
}

TEST(MountPoint, NothingWithoutAContainingLine)
{
    EXPECT_EQ(mount_point_for("", "/srv"), std::nullopt);
    EXPECT_EQ(mount_point_for("/dev/vdb /home ext4 rw 0 0\n", "/srv"), std::nullopt);
    EXPECT_EQ(mount_point_for("garbage\n", "/srv"), std::nullopt);
}

TEST(MountPoint, WorkingDirectoryLiesOnItsMountPoint)
{
    std::optional<std::string> mount = working_mount_point();
    ASSERT_TRUE(mount);
    std::string cwd = std::filesystem::current_path().native();
    EXPECT_EQ(cwd.rfind(*mount, 0), 0u) << *mount << " / " << cwd;
    struct statvfs here {}, there {};
    ASSERT_EQ(statvfs(".", &here), 0);
    ASSERT_EQ(statvfs(mount->c_str(), &there), 0);
    EXPECT_EQ(here.f_fsid, there.f_fsid);
}

TEST(FreeSpace, AgreesWithDf)
{
    std::optional<std::uint64_t> before = free_kilobytes(".");
    std::optional<std::uint64_t> df = df_available();
    std::optional<std::uint64_t> after = free_kilobytes(".");
    ASSERT_TRUE(before && after);
    if (!df)
        GTEST_SKIP() << "df is not available";
    // Other programs write to the same disk meanwhile: allow a few megabytes.
    constexpr std::uint64_t slack = 5 * 1024;
    EXPECT_GE(*df + slack, std::min(*before, *after));
    EXPECT_LE(*df, std::max(*before, *after) + slack);
}

TEST(FreeSpace, MissingDirectoryIsNoReading)
{
    EXPECT_EQ(free_kilobytes("/nonexistent/logserver-disk"), std::nullopt);
}

TEST(Classify, MegabytesRoundDownAndNeverWrap)
{
    EXPECT_EQ(classify_free_space(1023).value_text, "0M");
    EXPECT_TRUE(classify_free_space(0).end_process);
    // 200 MB less one kilobyte is 199 MB.
    EXPECT_TRUE(classify_free_space(200 * 1024 - 1).end_process);
    EXPECT_FALSE(classify_free_space(200 * 1024).end_process);
    disk_check huge = classify_free_space(UINT64_MAX);
    EXPECT_EQ(huge.value_text, std::to_string(UINT64_MAX / 1024) + "M");
    EXPECT_EQ(huge.state, disk_state::ok);
    EXPECT_FALSE(huge.end_process);
}

TEST(Markup, StateWordsInTheirColours)
{
    EXPECT_EQ(disk_state_markup(disk_state::ok, 0),
              "<span size=\"10000\" foreground=\"#214cc0\">正常</span>");
    EXPECT_EQ(disk_state_markup(disk_state::low, 1),
              "<span size=\"10000\" foreground=\"#ff0000\">free space low</span>");
    EXPECT_EQ(disk_state_markup(disk_state::unknown, 2),
              "<span size=\"10000\" foreground=\"#808080\">未知</span>");
    // Languages beyond the three read as English.
    EXPECT_STREQ(disk_texts_for(7).free_caption, "disk free:");
    EXPECT_EQ(disk_markup("a<b&", DISK_RED), "<span size=\"10000\" foreground=\"#ff0000\">a&lt;b&amp;</span>");
}
