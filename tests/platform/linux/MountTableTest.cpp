#include "platform/linux/MountTable.h"

#include <gtest/gtest.h>

using linuxbackend::MountTable;

TEST(MountTable, FindsTheMountPointOfADeviceByItsNumbers) {
    const MountTable table(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 11:10 / /media/ann/Old\\040Disc rw shared:2 - iso9660 /dev/sr10 ro\n"
        "41 22 11:1 / /media/ann/HOLIDAY\\0402010\\134tab\\011 ro shared:3 - udf /dev/sr1 ro\n"
        "42 22 11:1 / /mnt/again ro - udf /dev/sr1 ro\n");
    EXPECT_EQ(table.mountPointOf(11, 1), "/media/ann/HOLIDAY 2010\\tab\t");
    EXPECT_EQ(table.mountPointOf(11, 10), "/media/ann/Old Disc");
    EXPECT_EQ(table.mountPointOf(1, 11), std::nullopt);
    EXPECT_EQ(table.mountPointOf(8, 1), "/");
    EXPECT_EQ(MountTable("").mountPointOf(8, 1), std::nullopt);
    EXPECT_EQ(MountTable("bad line\n").mountPointOf(8, 1), std::nullopt);
}

TEST(MountTable, LeavesBackslashesThatAreNoEscapeAlone) {
    EXPECT_EQ(MountTable::unescape("a\\04b\\"), "a\\04b\\");
    EXPECT_EQ(MountTable::unescape("\\0401"), " 1");
}
