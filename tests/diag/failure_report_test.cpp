// The failure report: exception texts, the log and error file entries, and the "Error" box.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "diag/error_file.h"
#include "diag/job_log.h"
#include "diag/process_hooks.h"
#include "diag/qm_com_exceptions.h"
#include "platform/platform.h"
#include "support/global_state.h"
#include "support/test_files.h"

using testing_support::fileExists;
using testing_support::ProcessFixture;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

TEST(QmComExceptions, NumberedTextComesFromTheMessageTexts) {
    {
        ProcessFixture process;  // none loaded
        EXPECT_EQ(QmComExceptions(26).message(), "Error");
    }
    ProcessFixture process("26;Can't open the port\n");
    EXPECT_EQ(QmComExceptions(26).message(), "Can't open the port");
    EXPECT_EQ(QmComExceptions(27).message(), "");
    EXPECT_STREQ(QmComExceptions(std::string("literal")).text(), "literal");
}

TEST(FailureReport, WithoutALogShowsOneErrorBoxAndFinishesTheJob) {
    ProcessFixture process("1;Bad job string\n");
    QmComExceptions(1).report();
    ASSERT_EQ(process.boxes.size(), 1u);
    EXPECT_EQ(process.boxes[0].first, "Error");
    EXPECT_EQ(process.boxes[0].second, "Bad job string");
    EXPECT_EQ(process.finishCalls, 1);
}

TEST(FailureReport, WithALogWritesTwoEntriesAndTheErrorFileButNoBox) {
    ProcessFixture process("25;The scale did not answer in time\n");
    TempDir dir;
    JobLog* log = new JobLog(dir.withSeparator());
    g_log = log;
    QmComExceptions(25).report();
    QmComExceptions missing(99);
    EXPECT_TRUE(process.boxes.empty());
    EXPECT_EQ(process.finishCalls, 1);
    EXPECT_EQ(readFile(dir.file("Kwlink.Err")), "The scale did not answer in time");
    const std::vector<std::string>& lines = log->lines();
    ASSERT_EQ(lines.size(), 4u);
    // Entries carry the 19-character prefix "NNNN HH:MM:SS,mmm: ".
    EXPECT_EQ(lines[2].substr(19), "Abort with Error");
    EXPECT_EQ(lines[3].substr(19), "The scale did not answer in time");

    // A number the texts lack: an empty entry and an empty error file.
    missing.report();
    EXPECT_EQ(lines[lines.size() - 2].substr(19), "Abort with Error");
    EXPECT_EQ(lines.back().size(), 19u);
    EXPECT_EQ(lines.back().substr(17), ": ");
    EXPECT_EQ(readFile(dir.file("Kwlink.Err")), "");
    g_log = nullptr;
    delete log;
}

TEST(ErrorFile, HoldsExactlyTheTextAndReplacesTheFileBefore) {
    TempDir dir;
    std::string thirty = "Die Waage antwortet nicht! 30";
    thirty += "x";
    ASSERT_EQ(thirty.size(), 30u);
    ErrorFile(dir.withSeparator(), "an older, longer failure text of an earlier run");
    ErrorFile(dir.withSeparator(), thirty);
    EXPECT_EQ(readFile(dir.file("Kwlink.Err")), thirty);
}

TEST(ErrorFile, UnwritablePlaceIsSkippedSilently) {
    TempDir dir;
    // A directory where the file must go: not even root can write the file there.
    ASSERT_TRUE(platform::makeDirectory(dir.file("Kwlink.Err")));
    ErrorFile errorFile(dir.withSeparator(), "text");
    EXPECT_FALSE(errorFile.written());
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("Kwlink.Err")));
}

TEST(FailureReport, AnErrorFileThatCannotBeWrittenIsNotedForTheShell) {
    ProcessFixture process;
    TempDir dir;
    ASSERT_TRUE(platform::makeDirectory(dir.file("Kwlink.Err")));
    clearUnwrittenFiles();
    g_log = new JobLog(dir.withSeparator());
    QmComExceptions(std::string("disk full")).report();
    delete g_log;
    g_log = nullptr;
    EXPECT_EQ(unwrittenFiles(), std::vector<std::string>{dir.file("Kwlink.Err")});
    EXPECT_TRUE(process.boxes.empty()) << "the shell shows it at the end, with the log";
    clearUnwrittenFiles();
}
