// The parts of the transfer job that need no scale; whole jobs are tested end to end against
// the simulated scale (tests/e2e).
#include "job/transfer_job.h"

#include <gtest/gtest.h>

#include "diag/job_log.h"
#include "diag/process_hooks.h"
#include "diag/qm_com_exceptions.h"
#include "platform/platform.h"
#include "support/global_state.h"
#include "support/test_files.h"

using testing_support::fileExists;
using testing_support::ProcessFixture;
using testing_support::TempDir;
using testing_support::writeFile;

TEST(TransferJobMarkerFile, LiesBesideTheWorkingDirectoryNamedAfterIt) {
    EXPECT_EQ(TransferJob::markerFileName("C:\\DATA\\", "DATA", 3), "C:\\DATA.sca");
    EXPECT_EQ(TransferJob::markerFileName("C:\\A\\B/C\\", "C", 3), "C:\\A\\B/C.sca");
    // A path given with its own trailing separator: no name, the file lies inside.
    EXPECT_EQ(TransferJob::markerFileName("C:\\DATA\\\\", "", 3), "C:\\DATA\\.sca");
    // Only positions from 3 on are examined: the first three characters always stay.
    EXPECT_EQ(TransferJob::markerFileName("C:\\\\", "", 3), "C:\\.sca");
    EXPECT_EQ(TransferJob::markerFileName("AB\\", "AB", 3), "ABAB.sca");
    // With position 0 examined, a directory right below the root works.
    EXPECT_EQ(TransferJob::markerFileName("/data/", "data", 0), "/data.sca");
    EXPECT_EQ(TransferJob::markerFileName("/tmp/x/", "x", 0), "/tmp/x.sca");
}

TEST(TransferJobConstruction, ReportsEachMissingInputWithItsNumber) {
    ProcessFixture process("1;bad job\n32;no directory\n");
    auto failureOf = [](const std::string& job) {
        try {
            TransferJob transfer(job);
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

TEST(TransferJobConstruction, SecondJobInALockedWorkingDirectoryIsError41AndWritesNothing) {
    ProcessFixture process("41;directory in use\n");
    TempDir dir;
    const std::string workDir = dir.file("work");
    writeFile(dir.file("stale"), "");
    {
        TransferJob first("KWUP;KWDIR[" + workDir + "];KWTAB[DEPT]");
        ASSERT_NE(g_log, nullptr);
        JobLog* firstLog = g_log;
        g_log = nullptr;
        const std::string leftover = workDir + platform::pathSeparator() + "DEPT.csv.99.tmp~";
        writeFile(leftover, "");
        try {
            TransferJob second("KWBACKUP[0,3];KWDIR[" + workDir + "]");
            ADD_FAILURE() << "the second job must not be built";
        } catch (const QmComExceptions& e) {
            EXPECT_EQ(e.message(), "directory in use");
        }
        EXPECT_EQ(g_log, nullptr) << "reported like a failure before the log exists";
        EXPECT_TRUE(fileExists(leftover)) << "the second job touches nothing there";
        // The lock is held until the first job's log is written.
        delete firstLog;
    }
    TransferJob third("KWUP;KWDIR[" + workDir + "];KWTAB[DEPT]");
    EXPECT_NE(g_log, nullptr);
    EXPECT_FALSE(fileExists(workDir + platform::pathSeparator() + "DEPT.csv.99.tmp~"))
        << "a job clears temporary files that killed jobs left";
    delete g_log;
    g_log = nullptr;
}
