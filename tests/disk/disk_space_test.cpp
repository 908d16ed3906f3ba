#include "disk/disk_space.h"

#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <cstdio>

TEST(MountPoint, LongestContainingMountByWholeComponents)
{
    const char* const MOUNTS = "proc /proc proc rw,relatime 0 0\n"
                               "/dev/vda / ext4 rw,relatime 0 0\n"
                               "/dev/vdb /home ext4 rw 0 0\n"
                               "/dev/vdc /home/op/data xfs rw 0 0\n"
                               "/dev/vdd /media/my\\040disk vfat rw 0 0\n"
                               "\n";
    EXPECT_EQ(mount_point_for(MOUNTS, "/home/op/data/logs"), "/home/op/data");
    EXPECT_EQ(mount_point_for(MOUNTS, "/home/op/data"), "/home/op/data");
    EXPECT_EQ(mount_point_for(MOUNTS, "/home/op/database"), "/home");
    EXPECT_EQ(mount_point_for(MOUNTS, "/homer/x"), "/");
    EXPECT_EQ(mount_point_for(MOUNTS, "/media/my disk/logs"), "/media/my disk");
    EXPECT_EQ(mount_point_for(MOUNTS, "/media/my"), "/");

    EXPECT_EQ(mount_point_for("", "/srv"), std::nullopt);
    EXPECT_EQ(mount_point_for("/dev/vdb /home ext4 rw 0 0\ngarbage\n", "/srv"), std::nullopt);
}

// The working directory's mount point and free space, against statvfs and
// what "df -Pk ." prints.
TEST(FreeSpace, OfTheWorkingDirectoryOnItsMountPointAgreesWithDf)
{
    std::optional<std::string> mount = working_mount_point();
    ASSERT_TRUE(mount);
    struct statvfs here {
    }, there {};
    ASSERT_EQ(statvfs(".", &here), 0);
    ASSERT_EQ(statvfs(mount->c_str(), &there), 0);
    EXPECT_EQ(here.f_fsid, there.f_fsid);
    EXPECT_EQ(free_kilobytes("/nonexistent/logserver-disk"), std::nullopt);

    std::optional<std::uint64_t> before = free_kilobytes(".");
    std::FILE* df_out = popen("df -Pk . 2>/dev/null", "r");
    unsigned long long df = 0;
    const bool read = df_out && std::fscanf(df_out, "%*[^\n]\n%*s %*s %*s %llu", &df) == 1;
    const bool df_ran = df_out && pclose(df_out) == 0 && read;
    std::optional<std::uint64_t> after = free_kilobytes(".");
    ASSERT_TRUE(before && after);
    if (!df_ran)
        GTEST_SKIP() << "df is not available";
    // Other programs write to the same disk meanwhile: allow a few megabytes.
    constexpr std::uint64_t slack = 5 * 1024;
    EXPECT_GE(df + slack, std::min(*before, *after));
    EXPECT_LE(df, std::max(*before, *after) + slack);
}

TEST(Classify, MegabytesRoundDownAndNeverWrap)
{
    EXPECT_TRUE(classify_free_space(200 * 1024 - 1).end_process);  // 199 MB
    disk_check huge = classify_free_space(UINT64_MAX);
    EXPECT_EQ(huge.value_text, std::to_string(UINT64_MAX / 1024) + "M");
    EXPECT_EQ(huge.state, disk_state::ok);
    EXPECT_FALSE(huge.end_process);
}
