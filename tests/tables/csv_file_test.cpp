#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "diag/job_log.h"
#include "diag/output_file.h"
#include "dictionary/table.h"
#include "platform/platform.h"
#include "support/test_files.h"
#include "table_builders.h"
#include "tables/column_map.h"
#include "tables/csv_files.h"
#include "tables/keyed_table.h"
#include "tables/per_scale_keyed_table.h"
#include "tables/per_scale_table.h"
#include "tables/single_record_table.h"

using table_test::Attr;
using table_test::describe;
using table_test::everyType;
using table_test::keyAndText;
using testing::ElementsAre;
using testing_support::fileExists;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

// Three plain-text columns XXXX, YYYY, ZZZZ and no key.
TableDescription threeTexts() {
    return describe(
        "TRIO", 0x41, 1, 1,
        {{"XXXX", 0x61, 1, 9, 5, "X"}, {"YYYY", 0x62, 1, 9, 5, "Y"}, {"ZZZZ", 0x63, 1, 9, 5, "Z"}});
}

std::vector<std::string> slots(const Table& table) {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < table.usedSlotCount(); ++i) {
        texts.push_back(table.slot(i));
    }
    return texts;
}

// Reads one data line into the table's current record, with the table's own heading.
void readLine(Table& table, const std::string& heading, const std::string& line) {
    ColumnMap map;
    ASSERT_TRUE(map.build(heading, table.description()));
    table.layout().clearValues();
    readCsvRecord(table.layout(), line, map);
}

}  // namespace

TEST(CsvFileNames, ConfigurationTablesCarryTheScaleNumber) {
    const KeyedTable plain(keyAndText("AAAA", 0x7F));
    EXPECT_EQ(plain.csvFileName("C:\\DATA\\", 7), "C:\\DATA\\AAAA.csv");
    const KeyedTable config(keyAndText("AAAA", 0x90));
    EXPECT_EQ(config.csvFileName("C:\\DATA\\", 10), "C:\\DATA\\AAAA10.csv");
    EXPECT_EQ(config.csvFileName("C:\\DATA\\", 3), "C:\\DATA\\AAAA03.csv");
    const KeyedTable border(keyAndText("AbCd", 0x80));
    EXPECT_EQ(border.csvFileName("d/", 0), "d/AbCd00.csv");
}

TEST(CsvHeadings, MultiFieldColumnsAreNumberedFromOneOrFromZero) {
    const KeyedTable table(describe("AAAA", 0x41, 2, 99,
                                    {{"AAAA", 0x61, 0, 2, 8, "KEY"},
                                     {"BBBB", 0x62, 1, 9, 5, "B NAME"},
                                     {"CCCC", 0x63, 3, 9, 0, "C NAME"},
                                     {"DDDD", 0x64, 3, 9, 0x200, "D NAME"}}));
    EXPECT_EQ(table.headingLine(),
              "AAAA;BBBB;CCCC001;CCCC002;CCCC003;DDDD000;DDDD001;DDDD002;\r\n");
    EXPECT_EQ(table.nameLine(), "KEY;B NAME;C NAME;C NAME;C NAME;D NAME;D NAME;D NAME;\r\n");
}

TEST(CsvDataLines, EmptyAndMissingFieldsAreDeliveredAsEmptyTexts) {
    SingleRecordTable table(threeTexts());
    const std::string heading = "XXXX;YYYY;ZZZZ;";
    const auto reset = [&table] {
        table.slot(0) = "old0";
        table.slot(1) = "old1";
        table.slot(2) = "old2";
    };
    reset();
    readLine(table, heading, "A;;C");
    EXPECT_THAT(slots(table), ElementsAre("A", "", "C"));
    reset();
    readLine(table, heading, ";B");
    EXPECT_THAT(slots(table), ElementsAre("", "B", ""));
    reset();
    readLine(table, heading, "A;B;");
    EXPECT_THAT(slots(table), ElementsAre("A", "B", ""));
    reset();
    readLine(table, heading, "A;B");
    EXPECT_THAT(slots(table), ElementsAre("A", "B", ""));
}

TEST(CsvDataLines, TheHeadingDecidesWhereEachFieldGoes) {
    SingleRecordTable table(threeTexts());
    ColumnMap map;
    // Reordered, numbered, unknown, empty and lower-case headings; blanks before a sign are
    // skipped; empty fields at the end are no columns.
    ASSERT_TRUE(map.build("ZZZZ;XXXX001;QQQQ;;yyyy; YYYY;;", table.description()));
    EXPECT_EQ(map.size(), 6u);
    EXPECT_EQ(map.at(0), 2);
    EXPECT_EQ(map.at(1), 0);
    EXPECT_EQ(map.at(2), ColumnMap::kNoAttribute);
    EXPECT_EQ(map.at(3), ColumnMap::kNoAttribute);
    EXPECT_EQ(map.at(4), 1);
    EXPECT_EQ(map.at(5), 1);
    EXPECT_EQ(map.at(6), ColumnMap::kEnd);
    EXPECT_TRUE(map.anyAttribute());
    readLine(table, "ZZZZ;XXXX001;QQQQ;;yyyy", "z;x;q;e;y;surplus");
    EXPECT_THAT(slots(table), ElementsAre("x", "y", "z"));

    // An exact match wins over one that ignores letter case.
    SingleRecordTable twins(
        describe("TWIN", 0x41, 1, 1, {{"abcd", 0x61, 1, 9, 5, "L"}, {"ABCD", 0x62, 1, 9, 5, "U"}}));
    ASSERT_TRUE(map.build("ABCD;Abcd;abcd", twins.description()));
    EXPECT_EQ(map.at(0), 1);
    EXPECT_EQ(map.at(1), 0);
    EXPECT_EQ(map.at(2), 0);

    ColumnMap empty;
    EXPECT_FALSE(empty.build(";;;", table.description()));
    ASSERT_TRUE(empty.build("QQQQ;;", table.description()));
    EXPECT_FALSE(empty.anyAttribute());
}

TEST(CsvDataLines, AMultiFieldValueTakesItsColumnsInOrder) {
    SingleRecordTable table(
        describe("MULT", 0x41, 1, 1, {{"PRIC", 0x61, 3, 9, 0, "P"}, {"TEXT", 0x62, 1, 9, 5, "T"}}));
    readLine(table, "PRIC003;TEXT;PRIC001;PRIC002", "3;t;1;2");
    // A field number picks the field; a number outside the fields is a column of no attribute.
    EXPECT_THAT(slots(table), ElementsAre("1", "2", "3", "t"));
    table.slot(1) = "old";
    readLine(table, "PRIC001;PRIC004;PRIC003;TEXT", "1;4;3;t");
    EXPECT_THAT(slots(table), ElementsAre("1", "old", "3", "t"));
    // Headings without a number take the fields in column order.
    readLine(table, "PRIC;TEXT;pric;PRICx", "a;t;b;c");
    EXPECT_THAT(slots(table), ElementsAre("a", "b", "c", "t"));
}

// Export and import of the same records must give the same records, for every handler class
// and every value type.
class CsvRoundTrip : public testing::Test {
  protected:
    static void fill(Table& table, int n) {
        const std::string s = std::to_string(n);
        table.setKey(n);
        table.slot(0) = "1A" + s;                 // hex digits
        table.slot(1) = "9" + s;                  // BCD
        table.slot(2) = std::to_string(300 * n);  // binary
        table.slot(3) = "12" + s;                 // shifted
        table.slot(4) = "x";                      // char
        table.slot(5) = "2Line one " + s;         // text lines
        table.slot(6) = "";
        table.slot(7) = "5BIG";
        table.slot(8) = "Plain \xE4\xF6\xFC " + s;
        table.slot(9) = "Translated " + s;
        table.slot(10) = "4711" + s;
        table.slot(11) = "0";
        table.slot(12) = "";
        table.slot(13) = "FF";
    }
    TempDir dir_;
};

TEST_F(CsvRoundTrip, KeyedAndPerScaleKeyedTablesReadBackWhatTheyWrote) {
    KeyedTable written(everyType("EVRY", 0x41, 2));
    for (int n : {1, 2, 77, 9999}) {
        fill(written, n);
        written.storeRecord(static_cast<std::uint32_t>(n));
    }
    ASSERT_TRUE(written.exportCsv(dir_.withSeparator()));
    KeyedTable read(everyType("EVRY", 0x41, 2));
    read.importCsv(dir_.withSeparator());
    EXPECT_EQ(read.records(), written.records());

    PerScaleKeyedTable perScale(everyType("PSKT", 0x90, 5));
    std::string status;
    for (int s : {0, 3, 10}) {
        for (int n : {1, 5}) {
            fill(perScale, n + s);
            perScale.setKey(n);
            std::string record = "\x41\x17";
            perScale.layout().encodeRecord(record);
            perScale.storeReceived(status, s, record);
        }
    }
    ASSERT_TRUE(perScale.exportCsv(dir_.withSeparator()));
    EXPECT_TRUE(fileExists(dir_.file("PSKT03.csv")));
    EXPECT_FALSE(fileExists(dir_.file("PSKT04.csv")));
    PerScaleKeyedTable perScaleRead(everyType("PSKT", 0x90, 5));
    perScaleRead.importCsv(dir_.withSeparator());
    EXPECT_EQ(perScaleRead.allScaleRecords(), perScale.allScaleRecords());
    EXPECT_EQ(perScaleRead.allScaleRecords().size(), 6u);
}

TEST_F(CsvRoundTrip, PerScaleAndSingleRecordTablesReadBackWhatTheyWrote) {
    PerScaleTable perScale(everyType("PSTB", 0x88, 4));
    std::string status;
    for (int s : {0, 4}) {
        fill(perScale, s + 1);
        std::string record = "\x41\x17";
        perScale.layout().encodeRecord(record);
        perScale.storeReceived(status, s, record);
    }
    ASSERT_TRUE(perScale.exportCsv(dir_.withSeparator()));
    PerScaleTable perScaleRead(everyType("PSTB", 0x88, 4));
    perScaleRead.importCsv(dir_.withSeparator());
    EXPECT_EQ(perScaleRead.records(), perScale.records());

    SingleRecordTable single(everyType("SNGL", 0x42, 1));
    fill(single, 3);
    std::string record = "\x42\x17";
    single.layout().encodeRecord(record);
    single.prepareReceive(0);
    single.storeReceived(status, 0, record);
    ASSERT_TRUE(single.exportCsv(dir_.withSeparator()));
    SingleRecordTable singleRead(everyType("SNGL", 0x42, 1));
    singleRead.importCsv(dir_.withSeparator());
    ASSERT_TRUE(singleRead.isHeld());
    EXPECT_EQ(slots(singleRead), slots(single));
    EXPECT_EQ(singleRead.key(), 3);
}

TEST_F(CsvRoundTrip, WideHeadingsAndLongLinesAreReadWhole) {
    // 49 three-field columns and two single ones: 149 slots, the most a table can use.
    std::vector<Attr> attributes;
    for (int i = 0; i < 49; ++i) {
        char sign[8];
        std::snprintf(sign, sizeof sign, "M%03d", i);
        attributes.push_back({sign, static_cast<std::uint8_t>(0x30 + i), 3, 9, 5, "WIDE"});
    }
    attributes.push_back({"LAST", 0xA0, 1, 9, 5, "LAST"});
    attributes.push_back({"LONG", 0xA1, 1, 9, 5, "LONG"});
    KeyedTable table(describe("WIDE", 0x41, 2, 10, attributes));
    ASSERT_TRUE(table.isLayoutComplete());
    ASSERT_EQ(table.usedSlotCount(), 149u);
    EXPECT_GT(table.headingLine().size(), 1100u);

    const std::string longText(4000, 'L');
    table.slot(0) = "first";
    table.slot(147) = "last";
    table.slot(148) = longText;
    table.storeRecord(1);
    ASSERT_TRUE(table.exportCsv(dir_.withSeparator()));

    KeyedTable read(describe("WIDE", 0x41, 2, 10, attributes));
    read.setKey(1);
    read.importCsv(dir_.withSeparator());
    ASSERT_TRUE(read.loadRecord(1));
    EXPECT_EQ(read.slot(0), "first");
    EXPECT_EQ(read.slot(147), "last");
    EXPECT_EQ(read.slot(148), longText);
}

TEST_F(CsvRoundTrip, ALastLineWithoutLineEndAndBlankLinesAreHandled) {
    // No key column: the lines go under consecutive keys from 1, whatever key the table held.
    writeFile(dir_.file("AAAA.csv"), "TEXT;\r\nTEXT;\r\nfirst\r\n\r\n   \nsecond\r\nthird");
    KeyedTable table(keyAndText());
    table.setKey(4);
    table.importCsv(dir_.withSeparator());
    ASSERT_EQ(table.records().size(), 3u);
    ASSERT_TRUE(table.loadRecord(1));
    EXPECT_EQ(table.slot(0), "first");
    ASSERT_TRUE(table.loadRecord(2));
    EXPECT_EQ(table.slot(0), "second");
    ASSERT_TRUE(table.loadRecord(3));
    EXPECT_EQ(table.slot(0), "third");
}

TEST_F(CsvRoundTrip, AUtf8FileWithByteOrderMarkIsConvertedToWindows1252) {
    writeFile(dir_.file("AAAA.csv"),
              "\xEF\xBB\xBFKEYN;TEXT;\r\nKEY;TEXT;\r\n"
              "1;Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC\r\n"
              "2;\xCE\xA9hm\r\n");
    KeyedTable table(keyAndText());
    table.importCsv(dir_.withSeparator());
    ASSERT_TRUE(table.loadRecord(1));
    EXPECT_EQ(table.slot(0), "Gr\xFC\xDF \x80");
    // The omega has no Windows-1252 byte: kept as the file held it and reported, never
    // turned into a look-alike.
    ASSERT_TRUE(table.loadRecord(2));
    EXPECT_EQ(table.slot(0), "\xCE\xA9hm");
    std::vector<InvalidValue> invalid;
    table.findInvalidValues(invalid);
    ASSERT_EQ(invalid.size(), 1u);
    EXPECT_EQ(invalid[0].table, "AAAA");
    EXPECT_EQ(invalid[0].key, 2);
    EXPECT_EQ(invalid[0].column, "TEXT");
    EXPECT_EQ(invalid[0].text, "\xCE\xA9hm");

    // Without the mark, a file of valid UTF-8 with a multi-byte sequence reads the same; one
    // byte that is not UTF-8 makes the whole file Windows-1252 text.
    writeFile(dir_.file("AAAA.csv"), "KEYN;TEXT;\r\nKEY;TEXT;\r\n1;Gr\xC3\xBC\r\n");
    table.importCsv(dir_.withSeparator());
    ASSERT_TRUE(table.loadRecord(1));
    EXPECT_EQ(table.slot(0), "Gr\xFC");
    writeFile(dir_.file("AAAA.csv"), "KEYN;TEXT;\r\nKEY;TEXT;\r\n1;Gr\xC3\xBC\r\n2;\xE4\r\n");
    table.importCsv(dir_.withSeparator());
    ASSERT_TRUE(table.loadRecord(1));
    EXPECT_EQ(table.slot(0), "Gr\xC3\xBC");
    invalid.clear();
    table.findInvalidValues(invalid);
    EXPECT_TRUE(invalid.empty());

    // The first column of the file, right after the mark, is reported like any other.
    KeyedTable textFirst(describe(
        "AAAA", 0x41, 2, 255, {{"TEXT", 0x62, 1, 20, 5, "TEXT"}, {"KEYN", 0x61, 0, 2, 8, "KEY"}}));
    writeFile(dir_.file("AAAA.csv"),
              "\xEF\xBB\xBFTEXT;KEYN;\r\nTEXT;KEY;\r\n\xCE\xA9hm;2\r\nok;3\r\n");
    textFirst.importCsv(dir_.withSeparator());
    textFirst.findInvalidValues(invalid);
    ASSERT_EQ(invalid.size(), 1u);
    EXPECT_EQ(invalid[0].key, 2);
    EXPECT_EQ(invalid[0].column, "TEXT");
    EXPECT_EQ(invalid[0].text, "\xCE\xA9hm");
}

TEST_F(CsvRoundTrip, InvalidTextsWithinTheRangeAreReported) {
    KeyedTable table(describe("DIGI", 0x41, 2, 99,
                              {{"KEYN", 0x61, 0, 2, 8, "KEY"}, {"PRIC", 0x62, 1, 4, 1, "PRICE"}}));
    table.slot(0) = "12,50";
    table.storeRecord(3);
    table.slot(0) = "1250";
    table.storeRecord(4);
    table.slot(0) = "12X5";
    table.storeRecord(50);
    table.setRange(1, 10);
    std::vector<InvalidValue> invalid;
    table.findInvalidValues(invalid);
    ASSERT_EQ(invalid.size(), 1u);
    EXPECT_EQ(invalid[0].key, 3);
    EXPECT_EQ(invalid[0].column, "PRIC");
    EXPECT_EQ(invalid[0].text, "12,50");
}

TEST_F(CsvRoundTrip, AFailedExportReportsFailureAndKeepsTheOldFile) {
    KeyedTable table(keyAndText());
    table.slot(0) = "new";
    table.storeRecord(1);
    TempDir other;
    ASSERT_TRUE(platform::makeDirectory(other.file("AAAA.csv")));
    EXPECT_FALSE(table.exportCsv(other.withSeparator()));
    // Nothing but the directory is left behind.
    EXPECT_EQ(platform::directoryEntries(other.path()).size(), 3u);
}

TEST_F(CsvRoundTrip, AValueWithASeparatorOrALineEndIsWrittenAsItIsAndLogged) {
    for (const std::string separator : {";", "\r", "\n"}) {
        JobLog log(dir_.withSeparator());
        JobLog* previous = g_log;
        g_log = &log;
        KeyedTable table(keyAndText());
        table.slot(0) = "a" + separator + "b";
        table.storeRecord(7);
        const bool written = table.exportCsv(dir_.withSeparator());
        g_log = previous;
        ASSERT_TRUE(written);
        EXPECT_EQ(readFile(dir_.file("AAAA.csv")),
                  "KEYN;TEXT;\r\nKEY;TEXT;\r\n7;a" + separator + "b\r\n");
        ASSERT_FALSE(log.lines().empty());
        EXPECT_THAT(log.lines().back(), testing::HasSubstr("AAAA: key 7, column TEXT"));
    }
}

TEST_F(CsvRoundTrip, ExportedLinesAreWhatTheValuesWrite) {
    KeyedTable table(everyType("EVRY", 0x41, 2));
    fill(table, 5);
    table.storeRecord(5);
    ASSERT_TRUE(table.exportCsv(dir_.withSeparator()));
    EXPECT_EQ(
        readFile(dir_.file("EVRY.csv")),
        "ANUM;HEXA;BCDN;BINN;SHFT;CHAR;LINE001;LINE002;LINE003;PTXT;TTXT;DIGS;PRIC000;"
        "PRIC001;PRIC002;\r\n"
        "NUMBER;HEX;BCD;BINARY;SHIFTED;CHARACTER;TEXT LINES;TEXT LINES;TEXT LINES;PLAIN;"
        "TRANSLATED;DIGITS;PRICES;PRICES;PRICES;\r\n"
        "5;1A5;95;1500;125;x;2Line one 5;;5BIG;Plain \xE4\xF6\xFC 5;Translated 5;47115;0;;FF\r\n");

    // A type-10 key that owns slots it never uses writes one column, a character and a digit
    // string theirs.
    KeyedTable odd(describe("ODDS", 0x41, 2, 9999,
                            {{"KNUM", 0x61, 4, 4, 10, "KEY"},
                             {"CHAR", 0x62, 1, 1, 3, "C"},
                             {"LINE", 0x63, 2, 0x2040, 4, "L"},
                             {"DIGS", 0x64, 1, 6, 9, "D"}}));
    odd.slot(4) = "c";
    odd.slot(5) = "1one";
    odd.slot(7) = "000";
    odd.storeRecord(5);
    ASSERT_TRUE(odd.exportCsv(dir_.withSeparator()));
    EXPECT_EQ(readFile(dir_.file("ODDS.csv")),
              "KNUM001;KNUM002;KNUM003;KNUM004;CHAR;LINE001;LINE002;DIGS;\r\n"
              "KEY;KEY;KEY;KEY;C;L;L;D;\r\n"
              "5;c;1one;;000\r\n");
}
