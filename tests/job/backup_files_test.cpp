// The marker file of a backup.
#include "job/backup_files.h"

#include <gtest/gtest.h>

TEST(BackupMarkerFile, LiesBesideTheWorkingDirectoryNamedAfterIt) {
    EXPECT_EQ(markerFileName("C:\\DATA\\", "DATA", 3), "C:\\DATA.sca");
    EXPECT_EQ(markerFileName("C:\\A\\B/C\\", "C", 3), "C:\\A\\B/C.sca");
    // A path given with its own trailing separator: no name, the file lies inside.
    EXPECT_EQ(markerFileName("C:\\DATA\\\\", "", 3), "C:\\DATA\\.sca");
    // Only positions from 3 on are examined: the first three characters always stay.
    EXPECT_EQ(markerFileName("C:\\\\", "", 3), "C:\\.sca");
    EXPECT_EQ(markerFileName("AB\\", "AB", 3), "ABAB.sca");
    // With position 0 examined, a directory right below the root works.
    EXPECT_EQ(markerFileName("/data/", "data", 0), "/data.sca");
    EXPECT_EQ(markerFileName("/tmp/x/", "x", 0), "/tmp/x.sca");
}
