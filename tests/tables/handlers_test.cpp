#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_files.h"
#include "table_builders.h"
#include "tables/ctable_exceptions.h"
#include "tables/keyed_table.h"
#include "tables/per_scale_keyed_table.h"
#include "tables/per_scale_table.h"
#include "tables/single_record_table.h"

using table_test::keyAndText;
using testing_support::fileExists;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

// Records of keyAndText() as the scale sends them, worked out by hand: table sign 41h, ETB,
// key group 61h + binary key + ETB, text group 62h + plain text + terminator 20h + ETB, ETX.
// Key 3 is the byte 03h, coded 23h; 7 is 27h; 300 = 012Ch goes low byte first, 4Ch 21h.
// "X" (58h) is coded 78h, "Y" 79h, "Z" 7Ah.
const std::string kRecord3("\x41\x17\x61\x23\x17\x62\x78\x20\x17\x03", 10);
const std::string kRecord7("\x41\x17\x61\x27\x17\x62\x79\x20\x17\x03", 10);
const std::string kRecord300("\x41\x17\x61\x4C\x21\x17\x62\x7A\x20\x17\x03", 11);
// What nextToSend appends for keys 3 and 7: the same groups without ETX.
const std::string kSent3("\x41\x17\x61\x23\x17\x62\x78\x20\x17", 9);
const std::string kSent7("\x41\x17\x61\x27\x17\x62\x79\x20\x17", 9);

void receiveThree(Table& table) {
    std::string status;
    EXPECT_EQ(table.storeReceived(status, 1, kRecord7), SendResult::More);
    EXPECT_EQ(status, "NAME:    7");
    table.storeReceived(status, 1, kRecord300);
    EXPECT_EQ(status, "NAME:  300");
    table.storeReceived(status, 1, kRecord3);
}

}  // namespace

TEST(KeyedTableSending, StoredKeysGoOutInOrderUpToMaxIndex) {
    KeyedTable table(keyAndText());
    receiveThree(table);
    ASSERT_EQ(table.records().size(), 3u);  // 300 is kept although above maxIndex

    std::string status;
    std::string request = "d";
    table.startSending(1);
    EXPECT_EQ(table.nextToSend(status, 1, request), SendResult::More);
    EXPECT_EQ(request, "d" + kSent3);
    EXPECT_EQ(status, "NAME:    3");
    request = "d";
    EXPECT_EQ(table.nextToSend(status, 1, request), SendResult::More);
    EXPECT_EQ(request, "d" + kSent7);
    EXPECT_EQ(status, "NAME:    7");
    request = "d";
    EXPECT_EQ(table.nextToSend(status, 1, request), SendResult::End);
    EXPECT_EQ(request, "d");
    EXPECT_EQ(status, "End NAME");
}

TEST(KeyedTableSending, TheRangeLimitsWhatIsSent) {
    KeyedTable table(keyAndText());
    receiveThree(table);
    std::string status;
    std::string request;

    table.setRange(5, 6);
    table.startSending(0);
    EXPECT_EQ(table.nextToSend(status, 0, request), SendResult::End);
    EXPECT_EQ(status, "End NAME");
    EXPECT_TRUE(request.empty());

    table.setRange(4, 7);
    table.startSending(0);
    EXPECT_EQ(table.nextToSend(status, 0, request), SendResult::More);
    EXPECT_EQ(request, kSent7);
    EXPECT_EQ(table.nextToSend(status, 0, request), SendResult::End);
}

TEST(KeyedTableFiles, ExportWritesKeysInOrderAndNothingWhenEmpty) {
    TempDir dir;
    writeFile(dir.file("AAAA.csv"), "untouched");
    KeyedTable table(keyAndText());
    EXPECT_TRUE(table.exportCsv(dir.withSeparator()));
    EXPECT_EQ(readFile(dir.file("AAAA.csv")), "untouched");

    table.slot(0) = "two";
    table.storeRecord(2);
    table.slot(0) = "one";
    table.storeRecord(1);
    table.slot(0) = "zero";
    table.storeRecord(0);
    table.slot(0) = "high";
    table.storeRecord(256);
    ASSERT_TRUE(table.exportCsv(dir.withSeparator()));
    EXPECT_EQ(readFile(dir.file("AAAA.csv")), "KEYN;TEXT;\r\nKEY;TEXT;\r\n1;one\r\n2;two\r\n");

    // A table fetched empty replaces an old file by the heading lines alone.
    ASSERT_TRUE(table.writeEmptyCsv(dir.withSeparator(), 0));
    EXPECT_EQ(readFile(dir.file("AAAA.csv")), "KEYN;TEXT;\r\nKEY;TEXT;\r\n");
}

TEST(KeyedTableFiles, ImportFollowsTheKeyColumnOrCountsOn) {
    TempDir dir;
    KeyedTable table(keyAndText());

    writeFile(dir.file("AAAA.csv"), "KEYN;TEXT;\r\nK;T;\r\n5;first\r\n5;second\r\n;empty key\r\n");
    table.importCsv(dir.withSeparator());
    ASSERT_EQ(table.records().size(), 1u);
    ASSERT_TRUE(table.loadRecord(5));
    EXPECT_EQ(table.slot(0), "second");
    // An empty key field names key 0, which no record can have: noted, not stored.
    ASSERT_EQ(table.invalidKeys().size(), 1u);
    EXPECT_EQ(table.invalidKeys()[0].text, "");
    EXPECT_TRUE(table.hasImportProblems());
    ASSERT_TRUE(table.exportCsv(dir.withSeparator()));
    EXPECT_EQ(readFile(dir.file("AAAA.csv")), "KEYN;TEXT;\r\nKEY;TEXT;\r\n5;second\r\n");

    // Without key column: consecutive keys from 1, whatever key the table held.
    table.setKey(9);
    writeFile(dir.file("AAAA.csv"), "TEXT;\r\nT;\r\none\r\ntwo\r\n");
    table.importCsv(dir.withSeparator());
    ASSERT_EQ(table.records().size(), 2u);
    ASSERT_TRUE(table.loadRecord(1));
    EXPECT_EQ(table.slot(0), "one");
    ASSERT_TRUE(table.loadRecord(2));
    EXPECT_EQ(table.slot(0), "two");

    // A name line that holds a key: the file lacks its name line. No column of the table: the
    // file says nothing. Both are noted, and the file counts as one with problems.
    for (const char* content :
         {"KEYN;TEXT;\r\n1;one\r\n2;two\r\n", "keyx;QQ;\r\nK;T;\r\n1;one\r\n"}) {
        writeFile(dir.file("AAAA.csv"), content);
        table.importCsv(dir.withSeparator());
        ASSERT_EQ(table.fileProblems().size(), 1u) << content;
        EXPECT_EQ(table.fileProblems()[0].message, 40);
        EXPECT_TRUE(table.hasImportProblems());
    }

    // A file that exists but cannot be read is noted (error 43), not taken for a missing one.
    platform::makeDirectory(dir.file("BBBB.csv"));
    KeyedTable unreadable(keyAndText("BBBB"));
    unreadable.importCsv(dir.withSeparator());
    ASSERT_EQ(unreadable.fileProblems().size(), 1u);
    EXPECT_EQ(unreadable.fileProblems()[0].message, 43);

    writeFile(dir.file("AAAA.csv"), "");
    EXPECT_THROW(table.importCsv(dir.withSeparator()), CTableExceptions);
    EXPECT_TRUE(table.records().empty());
    try {
        table.importCsv(dir.withSeparator() + "missing/");
        ADD_FAILURE() << "no exception";
    } catch (const CTableExceptions& e) {
        EXPECT_EQ(e.code(), 1);
    }
}

TEST(PerScaleTableFiles, EachScaleHasItsOwnFile) {
    TempDir dir;
    // A record per scale holds only its slots: a table of this kind has no key column.
    PerScaleTable table(
        table_test::describe("CONF", 0x90, 4, 1, {{"TEXT", 0x62, 1, 20, 5, "TEXT"}}));
    std::string status = "before";
    EXPECT_EQ(table.storeReceived(status, 0, kRecord3), SendResult::Only);
    EXPECT_EQ(status, "");
    EXPECT_EQ(table.storeReceived(status, 4, kRecord7), SendResult::Only);
    ASSERT_TRUE(table.exportCsv(dir.withSeparator()));
    EXPECT_EQ(readFile(dir.file("CONF00.csv")), "TEXT;\r\nTEXT;\r\nX\r\n");
    EXPECT_EQ(readFile(dir.file("CONF04.csv")), "TEXT;\r\nTEXT;\r\nY\r\n");
    EXPECT_FALSE(fileExists(dir.file("CONF01.csv")));

    std::string request;
    status = "before";
    EXPECT_EQ(table.nextToSend(status, 3, request), SendResult::Nothing);
    EXPECT_TRUE(request.empty());
    EXPECT_EQ(status, "");
    EXPECT_EQ(table.nextToSend(status, 4, request), SendResult::Only);
    EXPECT_EQ(request, std::string("\x90\x17\x62\x79\x20\x17", 6));

    // Only the first data line of a file counts.
    writeFile(dir.file("CONF04.csv"), "TEXT;\r\nT;\r\nfirst\r\nsecond\r\n");
    table.importCsv(dir.withSeparator());
    ASSERT_EQ(table.records().size(), 2u);
    request.clear();
    table.nextToSend(status, 4, request);
    EXPECT_EQ(table.slot(0), "first");

    TempDir empty;
    EXPECT_THROW(table.importCsv(empty.withSeparator()), CTableExceptions);
}

TEST(PerScaleKeyedTableTransfer, RecordsAreKeptAndSentPerScale) {
    PerScaleKeyedTable table(keyAndText("PSKT", 0x95, 5));
    const std::string record5("\x41\x17\x61\x25\x17\x62\x78\x20\x17\x03", 10);
    std::string status;
    EXPECT_EQ(table.storeReceived(status, 2, record5), SendResult::More);
    EXPECT_EQ(status, "NAME:    5");
    ASSERT_EQ(table.allScaleRecords().size(), 1u);
    EXPECT_EQ(table.allScaleRecords().begin()->first, 131077u);

    std::string request;
    table.startSending(3);
    EXPECT_EQ(table.nextToSend(status, 3, request), SendResult::End);
    EXPECT_TRUE(request.empty());
    table.startSending(2);
    EXPECT_EQ(table.nextToSend(status, 2, request), SendResult::More);
    EXPECT_EQ(request, std::string("\x95\x17\x61\x25\x17\x62\x78\x20\x17", 9));
    EXPECT_EQ(table.nextToSend(status, 2, request), SendResult::End);

    // Key 65541 = 010005h (bytes 05h 00h 01h, coded 25h 20h 21h) from scale 1 would land
    // under scale 2, key 5: not stored.
    const std::string record65541("\x41\x17\x61\x25\x20\x21\x17\x62\x78\x20\x17\x03", 12);
    EXPECT_EQ(table.storeReceived(status, 1, record65541), SendResult::More);
    EXPECT_EQ(table.allScaleRecords().size(), 1u);
}

TEST(PerScaleKeyedTableTransfer, ImportNeedsOneFileOfAnyScale) {
    TempDir dir;
    PerScaleKeyedTable table(keyAndText("PSKT", 0x95, 5));
    writeFile(dir.file("PSKT07.csv"), "KEYN;TEXT;\r\nK;T;\r\n1;a\r\n2;b\r\n");
    table.importCsv(dir.withSeparator());
    EXPECT_EQ(table.allScaleRecords().size(), 2u);
    EXPECT_EQ(table.allScaleRecords().count(7u * 65536 + 2), 1u);
    // The last file read is the selected scale.
    EXPECT_EQ(table.records().size(), 2u);

    // Keys outside one scale's 65536 would be filed under another scale: skipped and noted
    // with the scale number of their file.
    writeFile(dir.file("PSKT07.csv"), "KEYN;TEXT;\r\nK;T;\r\n65536;x\r\n-1;y\r\n3;c\r\n");
    table.importCsv(dir.withSeparator());
    ASSERT_EQ(table.allScaleRecords().size(), 1u);
    EXPECT_EQ(table.allScaleRecords().begin()->first, 7u * 65536 + 3);
    ASSERT_EQ(table.invalidKeys().size(), 2u);
    EXPECT_EQ(table.invalidKeys()[0].text, "65536");
    EXPECT_EQ(table.invalidKeys()[0].scale, 7);
    EXPECT_EQ(table.invalidKeys()[1].text, "-1");

    writeFile(dir.file("PSKT07.csv"), "");
    EXPECT_THROW(table.importCsv(dir.withSeparator()), CTableExceptions);
    EXPECT_TRUE(table.allScaleRecords().empty());
}

TEST(SingleRecordTableTransfer, SendsItsRecordOnlyWhileHeld) {
    SingleRecordTable table(keyAndText("SNGL", 0x41, 1));
    std::string status = "kept";
    std::string request;
    EXPECT_EQ(table.nextToSend(status, 0, request), SendResult::Nothing);
    table.prepareReceive(0);
    EXPECT_EQ(table.storeReceived(status, 0, kRecord3), SendResult::Only);
    EXPECT_EQ(table.nextToSend(status, 0, request), SendResult::Only);
    EXPECT_EQ(request, kSent3);
    request.clear();
    EXPECT_EQ(table.nextToSend(status, 0, request), SendResult::Only);
    EXPECT_EQ(request, kSent3);
    EXPECT_EQ(status, "kept");
    // Fetching the next configuration number, which sends no record, keeps the record.
    table.prepareReceive(1);
    request.clear();
    EXPECT_EQ(table.nextToSend(status, 1, request), SendResult::Only);
    EXPECT_EQ(request, kSent3);
    table.clearRecords();
    EXPECT_EQ(table.nextToSend(status, 0, request), SendResult::Nothing);
}

TEST(PerScaleFiles, NumberTenRoundTripsInBothPerScaleClasses) {
    TempDir dir;
    std::string status;
    std::string request;
    const TableDescription perScale =
        table_test::describe("CONF", 0x90, 4, 1, {{"TEXT", 0x62, 1, 20, 5, "TEXT"}});
    PerScaleTable written(perScale);
    written.storeReceived(status, 10, kRecord3);
    ASSERT_TRUE(written.exportCsv(dir.withSeparator()));
    EXPECT_EQ(readFile(dir.file("CONF10.csv")), "TEXT;\r\nTEXT;\r\nX\r\n");
    PerScaleTable read(perScale);
    read.importCsv(dir.withSeparator());
    EXPECT_EQ(read.nextToSend(status, 10, request), SendResult::Only);
    EXPECT_EQ(request, std::string("\x90\x17\x62\x78\x20\x17", 6));

    PerScaleKeyedTable keyedWritten(keyAndText("PSKT", 0x95, 5));
    keyedWritten.storeReceived(status, 10, kRecord3);
    ASSERT_TRUE(keyedWritten.exportCsv(dir.withSeparator()));
    EXPECT_EQ(readFile(dir.file("PSKT10.csv")), "KEYN;TEXT;\r\nKEY;TEXT;\r\n3;X\r\n");
    PerScaleKeyedTable keyedRead(keyAndText("PSKT", 0x95, 5));
    keyedRead.importCsv(dir.withSeparator());
    keyedRead.startSending(10);
    request.clear();
    EXPECT_EQ(keyedRead.nextToSend(status, 10, request), SendResult::More);
    EXPECT_EQ(request, std::string("\x95\x17\x61\x23\x17\x62\x78\x20\x17", 9));
}

TEST(KeyedTableBoundaries, ARowAtExactlyMaxIndexIsStoredSentAndWritten) {
    TempDir dir;
    writeFile(dir.file("AAAA.csv"), "KEYN;TEXT;\r\nK;T;\r\n254;A\r\n255;B\r\n256;C\r\n");
    KeyedTable table(keyAndText());  // keys 1..255
    table.importCsv(dir.withSeparator());
    ASSERT_EQ(table.records().size(), 2u);
    // 255 is 0FFh, above 222: escaped as FFh 2Fh 2Fh.
    std::string status;
    std::string request;
    table.startSending(1);
    EXPECT_EQ(table.nextToSend(status, 1, request), SendResult::More);
    request.clear();
    EXPECT_EQ(table.nextToSend(status, 1, request), SendResult::More);
    EXPECT_EQ(request, std::string("\x41\x17\x61\xFF\x2F\x2F\x17\x62\x62\x20\x17", 11));
    EXPECT_EQ(status, "NAME:  255");
    EXPECT_EQ(table.nextToSend(status, 1, request), SendResult::End);
    ASSERT_TRUE(table.exportCsv(dir.withSeparator()));
    EXPECT_EQ(readFile(dir.file("AAAA.csv")), "KEYN;TEXT;\r\nKEY;TEXT;\r\n254;A\r\n255;B\r\n");
}

// Keys beyond 32 bits are not stored under what is left of them after truncation: they name
// no valid key and are noted (the job then ends with error 40) and skipped.
TEST(KeyedTableBoundaries, KeysBeyond32BitsNeverLandOnAnotherKey) {
    TempDir dir;
    writeFile(dir.file("AAAA.csv"),
              "KEYN;TEXT;\r\nK;T;\r\n1;one\r\n2;two\r\n"
              "4294967297;wrapped to 1\r\n-4294967294;wrapped to 2\r\n");
    KeyedTable table(keyAndText());
    table.importCsv(dir.withSeparator());
    ASSERT_EQ(table.records().size(), 2u);
    ASSERT_TRUE(table.loadRecord(1));
    EXPECT_EQ(table.slot(0), "one");
    ASSERT_TRUE(table.loadRecord(2));
    EXPECT_EQ(table.slot(0), "two");
    ASSERT_EQ(table.invalidKeys().size(), 2u);
    EXPECT_EQ(table.invalidKeys()[0].text, "4294967297");
    EXPECT_EQ(table.invalidKeys()[1].text, "-4294967294");
}

TEST(KeyedTableFiles, KeyFieldsThatNameNoValidKeyAreNotedAndSkipped) {
    TempDir dir;
    KeyedTable table(keyAndText());
    writeFile(dir.file("AAAA.csv"),
              "TEXT;KEYN;\r\nT;K;\r\na;2,5\r\nb;abc\r\nc;-3\r\nd;0\r\ne;256\r\n"
              "f;99999999999\r\ng; 7 \r\nh;255\r\n");
    table.importCsv(dir.withSeparator());
    std::vector<std::string> texts;
    for (const InvalidValue& value : table.invalidKeys()) {
        EXPECT_TRUE(value.badKey);
        EXPECT_EQ(value.column, "KEYN");
        texts.push_back(value.text);
    }
    EXPECT_THAT(texts, testing::ElementsAre("2,5", "abc", "-3", "0", "256", "99999999999"));
    ASSERT_EQ(table.records().size(), 2u);
    EXPECT_TRUE(table.loadRecord(7));
    EXPECT_TRUE(table.loadRecord(255));
    std::vector<InvalidValue> reported;
    table.findInvalidValues(reported);
    EXPECT_EQ(reported.size(), 6u);

    // The next import starts with a clean slate.
    writeFile(dir.file("AAAA.csv"), "KEYN;TEXT;\r\nK;T;\r\n1;x\r\n");
    table.importCsv(dir.withSeparator());
    EXPECT_FALSE(table.hasImportProblems());
}
