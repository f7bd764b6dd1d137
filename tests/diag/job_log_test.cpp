#include "diag/job_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "support/global_state.h"
#include "support/test_files.h"

using testing_support::ProcessFixture;
using testing_support::readFile;
using testing_support::TempDir;

namespace {

// The lines of a written log file; fails the test unless every line ends with CR LF.
std::vector<std::string> writtenLines(const std::string& path) {
    std::string content = readFile(path);
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < content.size()) {
        std::string::size_type end = content.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "unterminated last line";
        if (end == std::string::npos) {
            break;
        }
        lines.push_back(content.substr(start, end - start));
        EXPECT_EQ(lines.back().find('\n'), std::string::npos) << "bare LF inside a line";
        start = end + 2;
    }
    return lines;
}

const std::regex kEntry(R"((\d{4,}) ([01]\d|2[0-3]):[0-5]\d:[0-5]\d,\d{3}: (.*))");

std::string entryText(const std::string& line) {
    std::smatch match;
    EXPECT_TRUE(std::regex_match(line, match, kEntry)) << line;
    return match.size() > 3 ? match[3].str() : std::string();
}

std::string entryNumber(const std::string& line) {
    std::smatch match;
    EXPECT_TRUE(std::regex_match(line, match, kEntry)) << line;
    return match.size() > 1 ? match[1].str() : std::string();
}

}  // namespace

TEST(JobLog, WritesDateLineBannerEntriesAndClosingLineWithCrLf) {
    ProcessFixture process("2;stopped\n");
    TempDir dir;
    {
        JobLog log(dir.withSeparator());
        log.add("first");
        log.add("");
        log.addMessage(2);
        log.addMessage(77);  // not in the file: an entry with the prefix only
    }
    std::string content = readFile(dir.file("Kwlink.log"));
    ASSERT_GE(content.size(), 2u);
    EXPECT_EQ(content.substr(content.size() - 12), "Log-Closed\r\n");

    std::vector<std::string> lines = writtenLines(dir.file("Kwlink.log"));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"((0[1-9]|1[0-2])/[0-3]\d/\d\d)")))
        << lines[0];
    EXPECT_EQ(entryNumber(lines[1]), "0000");
    EXPECT_EQ(entryText(lines[1]), "Kwlink Version 1.00/6E - kwlink project Log-was Opened");
    EXPECT_EQ(entryText(lines[2]), "first");
    EXPECT_EQ(entryText(lines[3]), "");
    EXPECT_EQ(entryText(lines[4]), "stopped");
    EXPECT_EQ(entryText(lines[5]), "");
    EXPECT_EQ(entryNumber(lines[6]), "0005");
    EXPECT_EQ(entryText(lines[6]), "Log-Closed");
}

TEST(JobLog, AddMessageWithoutMessageTextsAddsNothingAndUsesNoNumber) {
    ProcessFixture process;  // no message texts
    TempDir dir;
    JobLog log(dir.withSeparator());
    log.addMessage(2);
    log.add("next");
    ASSERT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(entryNumber(log.lines()[2]), "0001");
}

TEST(JobLog, EntryNumbersGrowPastFourDigits) {
    TempDir dir;
    JobLog log(dir.withSeparator());
    for (int i = 1; i <= 10000; ++i) {
        log.add("x");
    }
    // Entry 0 is the banner: the 10001st entry carries 10000.
    EXPECT_EQ(entryNumber(log.lines().back()), "10000");
    EXPECT_EQ(entryNumber(log.lines()[log.lines().size() - 2]), "9999");
}

TEST(JobLog, ControlBytesAreWrittenAsLowerCaseHexAndOtherBytesStay) {
    TempDir dir;
    {
        JobLog log(dir.withSeparator());
        log.add(std::string("\x1b]0;x\x07 a\\b \x7f\x80\xE9\xFF \r\n\t\x00.", 21));
    }
    std::vector<std::string> lines = writtenLines(dir.file("Kwlink.log"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(entryText(lines[2]), "\\x1b]0;x\\x07 a\\b \\x7f\x80\xE9\xFF \\x0d\\x0a\\x09\\x00.");
}

TEST(JobLog, EachRunReplacesTheFileOfTheRunBefore) {
    TempDir dir;
    {
        JobLog log(dir.withSeparator());
        log.add("first run");
        log.add("more of the first run");
    }
    {
        JobLog log(dir.withSeparator());
        log.add("second run");
    }
    std::vector<std::string> lines = writtenLines(dir.file("Kwlink.log"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(entryText(lines[2]), "second run");
}

TEST(JobLog, UnwritableDirectoryIsToldByClose) {
    TempDir dir;
    {
        JobLog log(dir.file("missing") + "/");
        log.add("lost");
        EXPECT_FALSE(log.close());
        EXPECT_EQ(log.filePath(), dir.file("missing") + "/Kwlink.log");
    }
    EXPECT_FALSE(testing_support::fileExists(dir.file("missing")));
    JobLog log(dir.withSeparator());
    EXPECT_TRUE(log.close());
    EXPECT_TRUE(log.close()) << "a second close writes nothing and gives the first result";
    EXPECT_EQ(std::count(log.lines().begin(), log.lines().end(), log.lines().back()), 1);
}
