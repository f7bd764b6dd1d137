// Whole-file output: replacement through a temporary file, what it keeps of the old file, and
// the clearing of temporary files left by a killed job; and the bounded line reader.
#include "diag/output_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "diag/escaped_bytes.h"
#include "diag/line_reader.h"
#include "platform/platform.h"
#include "support/test_files.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using testing_support::fileExists;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

TEST(OutputFile, TemporaryNamesAreNewEachTimeAndStaleOnesAreRemoved) {
    TempDir dir;
    std::string first;
    std::string second;
    platform::NewFile* a = platform::createTemporaryFile(dir.file("ARTI.csv"), first);
    platform::NewFile* b = platform::createTemporaryFile(dir.file("ARTI.csv"), second);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    EXPECT_NE(first, second);
    EXPECT_TRUE(platform::closeNewFile(a, dir.file("ARTI.csv")));
    EXPECT_TRUE(platform::closeNewFile(b, dir.file("ARTI.csv")));
    writeFile(dir.file("ARTI.csv.4711.tmp~"), "left by a killed job");
    writeFile(dir.file("Kwlink.log.12.tmp~"), "left by a killed job");
    // Not of that pattern: kept.
    writeFile(dir.file("notes.tmp~"), "a user's file");
    writeFile(dir.file("ARTI.csv.x1.tmp~"), "a user's file");
    writeFile(dir.file("ARTI.csv"), "data");
    removeStaleTemporaryFiles(dir.withSeparator());
    EXPECT_FALSE(fileExists(first));
    EXPECT_FALSE(fileExists(second));
    EXPECT_FALSE(fileExists(dir.file("ARTI.csv.4711.tmp~")));
    EXPECT_FALSE(fileExists(dir.file("Kwlink.log.12.tmp~")));
    EXPECT_TRUE(fileExists(dir.file("notes.tmp~")));
    EXPECT_TRUE(fileExists(dir.file("ARTI.csv.x1.tmp~")));
    EXPECT_EQ(readFile(dir.file("ARTI.csv")), "data");
}

#ifndef _WIN32
TEST(OutputFile, SymbolicLinkIsReplacedAtItsTargetAndPermissionBitsStay) {
    TempDir dir;
    ASSERT_TRUE(platform::makeDirectory(dir.file("elsewhere")));
    writeFile(dir.file("elsewhere/DEPT.csv"), "old");
    ASSERT_EQ(symlink("elsewhere/DEPT.csv", dir.file("DEPT.csv").c_str()), 0);
    // A chain of links, the last one dangling: the file is created at its end.
    ASSERT_EQ(symlink("new/TEXT.csv", dir.file("link1").c_str()), 0);
    ASSERT_EQ(symlink("link1", dir.file("TEXT.csv").c_str()), 0);
    ASSERT_TRUE(platform::makeDirectory(dir.file("new")));
    writeFile(dir.file("ARTI.csv"), "old");
    ASSERT_EQ(chmod(dir.file("ARTI.csv").c_str(), 0600), 0);
    writeFile(dir.file("SHOP.csv"), "old");
    ASSERT_EQ(chmod(dir.file("SHOP.csv").c_str(), 0444), 0);

    EXPECT_TRUE(writeOutputFile(dir.file("DEPT.csv"), "new dept"));
    EXPECT_TRUE(writeOutputFile(dir.file("TEXT.csv"), "new text"));
    EXPECT_TRUE(writeOutputFile(dir.file("ARTI.csv"), "new arti"));
    EXPECT_TRUE(writeOutputFile(dir.file("SHOP.csv"), "new shop"));

    struct stat info {};
    ASSERT_EQ(lstat(dir.file("DEPT.csv").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(readFile(dir.file("elsewhere/DEPT.csv")), "new dept");
    ASSERT_EQ(lstat(dir.file("TEXT.csv").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(readFile(dir.file("new/TEXT.csv")), "new text");
    ASSERT_EQ(stat(dir.file("ARTI.csv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(readFile(dir.file("ARTI.csv")), "new arti");
    ASSERT_EQ(stat(dir.file("SHOP.csv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
    EXPECT_EQ(readFile(dir.file("SHOP.csv")), "new shop");
}

TEST(OutputFile, TemporaryFileIsPrivateUntilItGetsTheTargetsModeAndPlantsAreNotOpened) {
    TempDir dir;
    std::string name;
    platform::NewFile* file = platform::createTemporaryFile(dir.file("NEW.csv"), name);
    ASSERT_NE(file, nullptr);
    struct stat info {};
    ASSERT_EQ(lstat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const mode_t mask = umask(022);
    umask(mask);
    ASSERT_TRUE(platform::closeNewFile(file, dir.file("NEW.csv")));
    ASSERT_EQ(lstat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u & ~mask) << "a new file gets the usual mode";
}

TEST(DataDirectory, KwlinkHomeElseTheProgramDirectory) {
    unsetenv("KWLINK_HOME");
    EXPECT_EQ(platform::dataDirectory(), platform::programDirectory());
    setenv("KWLINK_HOME", "/srv/kwlink-home/", 1);
    EXPECT_EQ(platform::dataDirectory(), "/srv/kwlink-home");
    setenv("KWLINK_HOME", "", 1);
    EXPECT_EQ(platform::dataDirectory(), platform::programDirectory());
    unsetenv("KWLINK_HOME");
}
#endif

TEST(LineReader, KeepsAtMostTheLimitAndReadsOnAfterALongLine) {
    const std::string longLine(10 * 1000 * 1000, 'x');
    std::istringstream in("short\r\n" + longLine + "\r\n" + std::string(8, 'y') + "\r\nlast");
    LineReader reader(in, 8);
    std::string line;
    ASSERT_EQ(reader.next(line), LineReader::Result::Line);
    EXPECT_EQ(line, "short");
    EXPECT_FALSE(reader.truncated());
    ASSERT_EQ(reader.next(line), LineReader::Result::Line);
    EXPECT_EQ(line, "xxxxxxxx");
    EXPECT_TRUE(reader.truncated());
    EXPECT_LT(line.capacity(), 100u) << "the rest of the line is not held";
    // Exactly the limit, with CR LF: whole, not truncated.
    ASSERT_EQ(reader.next(line), LineReader::Result::Line);
    EXPECT_EQ(line, "yyyyyyyy");
    EXPECT_FALSE(reader.truncated());
    ASSERT_EQ(reader.next(line), LineReader::Result::Line);
    EXPECT_EQ(line, "last");
    EXPECT_EQ(reader.next(line), LineReader::Result::End);
}

TEST(EscapedBytes, PrintableAsciiStaysEverythingElseIsHex) {
    EXPECT_EQ(escapeBytes(std::string("w9\x03\x4E", 4)), "w9\\x03N");
    EXPECT_EQ(escapeBytes(std::string("a\\b\x00\xFF\x7F", 6)), "a\\\\b\\x00\\xFF\\x7F");
}
