// The inputs of the process's job, gathered in their fixed order: each failure with its number.
#include "app/job_setup.h"

#include <gtest/gtest.h>

#include <string>

#include "diag/job_log.h"
#include "diag/qm_com_exceptions.h"
#include "dictionary/char_translation.h"
#include "platform/platform.h"
#include "support/global_state.h"
#include "support/test_files.h"

using testing_support::fileExists;
using testing_support::ProcessFixture;
using testing_support::TempDir;
using testing_support::writeFile;

TEST(JobSetup, ReportsEachMissingInputWithItsNumber) {
    ProcessFixture process("1;bad job\n32;no directory\n");
    auto failureOf = [](const std::string& job) {
        try {
            prepareJob(job);
        } catch (const QmComExceptions& e) {
            return e.message();
        }
        return std::string("(none)");
    };
    EXPECT_EQ(failureOf("KWNOTHING"), "bad job");
    EXPECT_EQ(failureOf("KWUP;KWTAB[DEPT]"), "bad job");    // the second token must be KWDIR
    EXPECT_EQ(failureOf("KWBACKUP[0,1]"), "no directory");  // no KWDIR: no working directory
    TempDir dir;
    EXPECT_EQ(failureOf("KWUP;KWDIR[" + dir.file("a") + platform::pathSeparator() + "b];KWTAB[X]"),
              "no directory");
    EXPECT_EQ(g_log, nullptr) << "nothing before the working directory creates the log";
}

TEST(JobSetup, SecondJobInALockedWorkingDirectoryIsError41AndWritesNothing) {
    ProcessFixture process("41;directory in use\n");
    TempDir dir;
    const std::string workDir = dir.file("work");
    writeFile(dir.file("stale"), "");
    {
        prepareJob("KWUP;KWDIR[" + workDir + "];KWTAB[DEPT]");
        ASSERT_NE(g_log, nullptr);
        delete g_charTranslation;
        g_charTranslation = nullptr;
        JobLog* firstLog = g_log;
        g_log = nullptr;
        const std::string leftover = workDir + platform::pathSeparator() + "DEPT.csv.99.tmp~";
        writeFile(leftover, "");
        try {
            prepareJob("KWBACKUP[0,3];KWDIR[" + workDir + "]");
            ADD_FAILURE() << "the second job must not be built";
        } catch (const QmComExceptions& e) {
            EXPECT_EQ(e.message(), "directory in use");
        }
        EXPECT_EQ(g_log, nullptr) << "reported like a failure before the log exists";
        EXPECT_TRUE(fileExists(leftover)) << "the second job touches nothing there";
        // The lock is held until the first job's log is written.
        delete firstLog;
    }
    prepareJob("KWUP;KWDIR[" + workDir + "];KWTAB[DEPT]");
    EXPECT_NE(g_log, nullptr);
    EXPECT_FALSE(fileExists(workDir + platform::pathSeparator() + "DEPT.csv.99.tmp~"))
        << "a job clears temporary files that killed jobs left";
    delete g_log;
    g_log = nullptr;
    delete g_charTranslation;
    g_charTranslation = nullptr;
}
