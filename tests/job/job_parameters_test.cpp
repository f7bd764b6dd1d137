#include "job/job_parameters.h"

#include <gtest/gtest.h>

#include <string>

#include "job/job_test_support.h"
#include "platform/platform.h"

namespace {

const std::string kSep(1, platform::pathSeparator());

class JobStringTest : public WithMessageTexts {
  protected:
    JobParseResult parse(const std::string& line) { return JobParameters(line).result(); }

    // Every rejected job string ends the job with message 1.
    void expectRejected(const std::string& line) {
        EXPECT_EQ(thrownText([&] { JobParameters parameters(line); }), messageText(1))
            << "job string: " << line;
    }
};

TEST_F(JobStringTest, BackupMovesEverythingWithItsConfigurationRange) {
    JobParseResult r = parse("KWBACKUP[0,5];KWDIR[C:\\DATA]");
    EXPECT_EQ(r.jobKind, 1);
    EXPECT_EQ(r.direction, 2);
    EXPECT_EQ(r.confFrom, 0);
    EXPECT_EQ(r.confTo, 5);
    EXPECT_TRUE(r.confGiven);
    EXPECT_TRUE(r.articleGiven);
    EXPECT_TRUE(r.tablesGiven);
    EXPECT_FALSE(r.portGiven);
    EXPECT_EQ(r.articleFrom, 1u);
    EXPECT_EQ(r.articleTo, 99999999u);
    EXPECT_EQ(r.tableNameCount, 255);
    EXPECT_EQ(r.workDir, "C:\\DATA" + kSep);
    EXPECT_EQ(r.dirName, "DATA");
}

TEST_F(JobStringTest, KeywordsIgnoreCaseButThePathKeepsIt) {
    JobParseResult r = parse("kwrestore[1,2];kwdir[c:\\Data]");
    EXPECT_EQ(r.jobKind, 0);
    EXPECT_EQ(r.direction, 1);
    EXPECT_EQ(r.confFrom, 1);
    EXPECT_EQ(r.confTo, 2);
    EXPECT_EQ(r.workDir, "c:\\Data" + kSep);
    EXPECT_EQ(r.dirName, "Data");
}

TEST_F(JobStringTest, KeywordsAreFoundAnywhereInsideTheirToken) {
    JobParseResult up = parse("xKWUPx;xKWDIRx[C:\\AB\\C];xKWCONFx[1,2]x");
    EXPECT_EQ(up.jobKind, 3);
    EXPECT_EQ(up.direction, 2);
    EXPECT_TRUE(up.confGiven);
    // A token naming both full jobs counts as a backup.
    EXPECT_EQ(parse("KWRESTOREKWBACKUP[1,2]").jobKind, 1);
}

TEST_F(JobStringTest, ConfigurationFirstNumberIsReducedToItsLastDigit) {
    JobParseResult r = parse("KWBACKUP[15,99];KWDIR[C:\\X\\Y]");
    EXPECT_EQ(r.confFrom, 5);
    EXPECT_EQ(r.confTo, 99);
    EXPECT_EQ(parse("KWBACKUP[20,5];KWDIR[C:\\X\\Y]").confFrom, 1);
    EXPECT_EQ(parse("KWBACKUP[10,5];KWDIR[C:\\X\\Y]").confFrom, 10);
    EXPECT_EQ(parse("KWBACKUP[11,5];KWDIR[C:\\X\\Y]").confFrom, 1);
    EXPECT_EQ(parse("KWBACKUP[99,5];KWDIR[C:\\X\\Y]").confFrom, 9);
    expectRejected("KWBACKUP[100,5];KWDIR[C:\\X\\Y]");
    expectRejected("KWBACKUP[5,100];KWDIR[C:\\X\\Y]");
    // The range check looks at the number's low byte.
    EXPECT_EQ(parse("KWUP;KWDIR[C:\\X\\Y];KWCONF[256,1]").confFrom, 0);
}

TEST_F(JobStringTest, FullJobsNeedTheirBracket) {
    expectRejected("KWBACKUP;KWDIR[C:\\X\\Y]");
    expectRejected("KWRESTORE[1];KWDIR[C:\\X\\Y]");
    expectRejected("KWRESTORE[1,2;KWDIR[C:\\X\\Y]");
}

TEST_F(JobStringTest, PartialJobsNeedSomethingToTransfer) {
    expectRejected("KWDOWN;KWDIR[C:\\X\\Y]");
    expectRejected("KWUP;KWDIR[C:\\X\\Y]");
    JobParseResult r = parse("KWDOWN;KWDIR[C:\\X\\Y];KWTAB[PLU1]");
    EXPECT_EQ(r.jobKind, 2);
    EXPECT_EQ(r.direction, 1);
    EXPECT_TRUE(r.tablesGiven);
    EXPECT_FALSE(r.confGiven);
    EXPECT_FALSE(r.articleGiven);
    EXPECT_EQ(r.tableNameCount, 1);
    EXPECT_EQ(r.tables[0], "PLU1");
}

TEST_F(JobStringTest, OnlyKwdownSendsWhatChanged) {
    EXPECT_FALSE(parse("KWDOWN;KWDIR[C:\\X\\Y];KWTAB[PLU1]").changedOnly);
    for (const char* line : {"KWDOWN;KWDIR[C:\\X\\Y];KWCHANGED;KWTAB[PLU1]",
                             "kwdown;kwdir[C:\\X\\Y];KWTAB[PLU1];xkwchangedx"}) {
        EXPECT_TRUE(parse(line).changedOnly) << line;
    }
    expectRejected("KWUP;KWDIR[C:\\X\\Y];KWTAB[PLU1];KWCHANGED");
    expectRejected("KWBACKUP[0,1];KWDIR[C:\\X\\Y];KWCHANGED");
    expectRejected("KWRESTORE[0,1];KWDIR[C:\\X\\Y];KWCHANGED");
    // Nothing to transfer is still nothing to transfer.
    expectRejected("KWDOWN;KWDIR[C:\\X\\Y];KWCHANGED");
}

TEST_F(JobStringTest, ArticlesOfAnUploadAreAlwaysAllOfThem) {
    JobParseResult r = parse("KWUP;KWDIR[C:\\AB\\C];KWARTICLE");
    EXPECT_TRUE(r.articleGiven);
    EXPECT_EQ(r.articleFrom, 1u);
    EXPECT_EQ(r.articleTo, 99999999u);
    r = parse("KWUP;KWDIR[C:\\AB\\C];KWARTICLE[5,6]");
    EXPECT_EQ(r.articleFrom, 1u);
    EXPECT_EQ(r.articleTo, 99999999u);
    // Towards the scale the bracket is required.
    expectRejected("KWDOWN;KWDIR[C:\\AB\\C];KWARTICLE");
    r = parse("KWDOWN;KWDIR[C:\\AB\\C];KWARTICLE[1a2, 34]");
    EXPECT_EQ(r.articleFrom, 12u);
    EXPECT_EQ(r.articleTo, 34u);
}

TEST_F(JobStringTest, TableListRules) {
    const std::string job = "KWDOWN;KWDIR[C:\\AB\\C];";
    JobParseResult r = parse(job + "KWTAB[ABCD,EFGH]");
    EXPECT_EQ(r.tableNameCount, 2);
    EXPECT_EQ(r.tables[0], "ABCD");
    EXPECT_EQ(r.tables[1], "EFGH");
    expectRejected(job + "KWTAB[ABC,EFGH]");
    r = parse(job + "KWTAB[ABCD,EF]");
    EXPECT_EQ(r.tableNameCount, 2);
    EXPECT_EQ(r.tables[1], "EF");
    EXPECT_EQ(parse(job + "KWTAB[*]").tableNameCount, 255);
    EXPECT_EQ(parse(job + "KWTAB[ * ]").tableNameCount, 255);
    expectRejected(job + "KWTAB[ABCD,*]");
    expectRejected(job + "KWTAB[AB*]");
    expectRejected(job + "KWTAB[*,ABCD]");
    r = parse(job + "KWTAB[ab cd]");
    EXPECT_EQ(r.tableNameCount, 1);
    EXPECT_EQ(r.tables[0], "ABCD");
    // Every letter from a to z is upper-cased.
    r = parse(job + "KWTAB[abcd,efgh,ijkl,mnop,qrst,uvwx,yz]");
    EXPECT_EQ(r.tables[5], "UVWX");
    EXPECT_EQ(r.tables[6], "YZ");
}

TEST_F(JobStringTest, TableListEndings) {
    const std::string job = "KWDOWN;KWDIR[C:\\AB\\C];";
    JobParseResult r = parse(job + "KWTAB[]");
    EXPECT_EQ(r.tableNameCount, 1);
    EXPECT_EQ(r.tables[0], "");
    r = parse(job + "KWTAB[ABCD,]");
    EXPECT_EQ(r.tableNameCount, 2);
    EXPECT_EQ(r.tables[1], "");
    // Without "]" the last name needs 4 characters too.
    EXPECT_EQ(parse(job + "KWTAB[ABCD").tableNameCount, 1);
    expectRejected(job + "KWTAB[AB");
    // Without a bracket KWTAB can only confirm "all tables".
    expectRejected(job + "KWTAB");
    EXPECT_EQ(parse("KWBACKUP[1,2];KWDIR[C:\\AB\\C];KWTAB").tableNameCount, 255);
    EXPECT_EQ(parse(job + "KWTAB[*];KWTAB").tableNameCount, 255);
    // A later list replaces an earlier one.
    r = parse("KWBACKUP[1,2];KWDIR[C:\\AB\\C];KWTAB[ABCD,EFGH];KWTAB[IJKL]");
    EXPECT_EQ(r.tableNameCount, 1);
    EXPECT_EQ(r.tables[0], "IJKL");
}

TEST_F(JobStringTest, AtMostHundredTableNames) {
    std::string list;
    for (int i = 0; i < 100; ++i) {
        list += (i == 0 ? "" : ",") + std::string("T") + std::to_string(100 + i);
    }
    JobParseResult r = parse("KWDOWN;KWDIR[C:\\AB\\C];KWTAB[" + list + "]");
    EXPECT_EQ(r.tableNameCount, 100);
    EXPECT_EQ(r.tables[0], "T100");
    EXPECT_EQ(r.tables[99], "T199");
    expectRejected("KWDOWN;KWDIR[C:\\AB\\C];KWTAB[" + list + ",]");
    expectRejected("KWDOWN;KWDIR[C:\\AB\\C];KWTAB[" + list + ",T200]");
}

TEST_F(JobStringTest, WorkingDirectoryLengthAndSeparator) {
    expectRejected("KWUP;KWDIR[C:\\];KWCONF[1,2]");
    EXPECT_EQ(parse("KWUP;KWDIR[C:\\A];KWCONF[1,2]").workDir, "C:\\A" + kSep);
    expectRejected("KWUP;KWDIR[ABCD];KWCONF[1,2]");
    JobParseResult r = parse("KWUP;KWDIR[C:\\A\\];KWCONF[1,2]");
    EXPECT_EQ(r.workDir, "C:\\A\\" + kSep);
    EXPECT_EQ(r.dirName, "");
    // A separator at position 1 is still found.
    EXPECT_EQ(parse("KWUP;KWDIR[X\\ABC];KWCONF[1,2]").dirName, "ABC");
}

TEST_F(JobStringTest, WorkingDirectoryTextInsideTheBracket) {
    JobParseResult r = parse("KWUP;KWDIR[  C:\\AB\\C ];KWCONF[1,2]");
    EXPECT_EQ(r.workDir, "C:\\AB\\C " + kSep);
    EXPECT_EQ(r.dirName, "C ");
    EXPECT_EQ(parse("KWUP;KWDIR[C:/ab/cd];KWCONF[1,2]").dirName, "cd");
    expectRejected("KWUP;KWDIR[C:\\AB\\C;KWCONF[1,2]");
    expectRejected("KWUP;KWDIR C:\\AB\\C];KWCONF[1,2]");
}

TEST_F(JobStringTest, DirectoryBelowTheRoot) {
    if (platform::pathSeparator() == '/') {
        JobParseResult r = parse("KWUP;KWDIR[/data];KWCONF[1,2]");
        EXPECT_EQ(r.workDir, "/data/");
        EXPECT_EQ(r.dirName, "data");
        r = parse("KWUP;KWDIR[/tmp/x];KWCONF[1,2]");
        EXPECT_EQ(r.workDir, "/tmp/x/");
        EXPECT_EQ(r.dirName, "x");
    } else {
        // Position 0 is a drive letter on Windows and is not looked at.
        expectRejected("KWUP;KWDIR[/data];KWCONF[1,2]");
        EXPECT_EQ(parse("KWUP;KWDIR[/tmp/x];KWCONF[1,2]").dirName, "x");
    }
}

TEST_F(JobStringTest, WithoutDirectoryTheWorkDirStaysEmpty) {
    JobParseResult r = parse("KWBACKUP[1,2]");
    EXPECT_EQ(r.workDir, "");
    EXPECT_EQ(r.dirName, "");
    EXPECT_EQ(r.jobKind, 1);
}

TEST_F(JobStringTest, SeparatorRunsBeforeTheDirectoryHideThePath) {
    expectRejected("KWUP;;KWDIR[C:\\AB\\C];KWCONF[1,2]");
    expectRejected(";KWUP;KWDIR[C:\\AB\\C];KWCONF[1,2]");
    // After the directory they are harmless.
    EXPECT_TRUE(parse("KWUP;KWDIR[C:\\AB\\C];;KWCONF[1,2];").confGiven);
}

TEST_F(JobStringTest, OnlyKnownTokensInTheirPlace) {
    expectRejected("KWSEND;KWDIR[C:\\AB\\C];KWCONF[1,2]");
    expectRejected("KWUP;KWCONF[1,2]");
    expectRejected("KWUP;KWDIR[C:\\AB\\C];KWCONF[1,2];KWDIR[C:\\AB\\D]");
    expectRejected("KWUP;KWDIR[C:\\AB\\C];KWCONF[1,2];HELLO");
}

TEST_F(JobStringTest, PortNumber) {
    JobParseResult r = parse("KWUP;KWDIR[C:\\AB\\C];KWPORT[3];KWCONF[1,2]");
    EXPECT_EQ(r.port, 3);
    EXPECT_TRUE(r.portGiven);
    EXPECT_EQ(parse("KWUP;KWDIR[C:\\AB\\C];KWPORT[ 0 3 ];KWCONF[1,2]").port, 3);
    r = parse("KWUP;KWDIR[C:\\AB\\C];KWPORT[];KWCONF[1,2]");
    EXPECT_EQ(r.port, 0);
    EXPECT_TRUE(r.portGiven);
    EXPECT_EQ(parse("KWUP;KWDIR[C:\\AB\\C];KWPORT[1];KWPORT[2];KWCONF[1,2]").port, 2);
    expectRejected("KWUP;KWDIR[C:\\AB\\C];KWPORT3;KWCONF[1,2]");
    expectRejected("KWUP;KWDIR[C:\\AB\\C];KWPORT[3;KWCONF[1,2]");
}

TEST_F(JobStringTest, NumbersHaveAtMostNineDigits) {
    EXPECT_EQ(parse("KWUP;KWDIR[C:\\AB\\C];KWPORT[123456789];KWCONF[1,2]").port, 123456789);
    expectRejected("KWUP;KWDIR[C:\\AB\\C];KWPORT[1234567890];KWCONF[1,2]");
    EXPECT_EQ(parse("KWDOWN;KWDIR[C:\\AB\\C];KWARTICLE[1,999999999]").articleTo, 999999999u);
    expectRejected("KWDOWN;KWDIR[C:\\AB\\C];KWARTICLE[1,1000000000]");
    expectRejected("KWDOWN;KWDIR[C:\\AB\\C];KWARTICLE[1000000000,1]");
}

TEST_F(JobStringTest, WhereTheSecondNumberStarts) {
    // KWCONF's second number starts after the comma: a "]" there is skipped over.
    expectRejected("KWUP;KWDIR[C:\\AB\\C];KWCONF[1,]");
    JobParseResult r = parse("KWUP;KWDIR[C:\\AB\\C];KWCONF[1,]]");
    EXPECT_EQ(r.confFrom, 1);
    EXPECT_EQ(r.confTo, 0);
    // KWARTICLE's starts on the comma itself.
    r = parse("KWDOWN;KWDIR[C:\\AB\\C];KWARTICLE[5,]");
    EXPECT_EQ(r.articleFrom, 5u);
    EXPECT_EQ(r.articleTo, 0u);
    expectRejected("KWUP;KWDIR[C:\\AB\\C];KWCONF[1,");
}

TEST_F(JobStringTest, EmptyAndSeparatorOnlyStrings) {
    expectRejected("");
    JobParseResult r = parse(";;;");
    EXPECT_EQ(r.direction, 1);
    EXPECT_EQ(r.jobKind, 0);
    EXPECT_FALSE(r.confGiven || r.articleGiven || r.tablesGiven || r.portGiven);
    EXPECT_EQ(r.workDir, "");
}

}  // namespace
