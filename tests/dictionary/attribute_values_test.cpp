#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "dictionary/char_translation.h"
#include "dictionary/char_value.h"
#include "dictionary/digit_string_value.h"
#include "dictionary/encoded_value.h"
#include "dictionary/key_value.h"
#include "dictionary/text_lines_value.h"
#include "support/test_files.h"

namespace {

// Runs decode from just after the bus sign at record[0].
int decodeAfterSign(AttributeValue& value, const std::string& record, std::size_t& pos) {
    pos = 1;
    return value.decode(record, pos, record.size());
}

std::string encoded(AttributeValue& value) {
    std::string out;
    value.encode(out);
    return out;
}

TEST(EncodedValue, SeveralFieldsEndEachWithRsInOneGroup) {
    std::array<std::string, 3> slots{"1", "2", "3"};
    EncodedValue value('A', "NUMS", slots.data(), 3, ValueMode::PackedDigits);
    EXPECT_EQ(encoded(value), "A\x21\x1E\x22\x1E\x23\x1E\x17");

    slots = {"old0", "old1", "old2"};
    std::size_t pos = 0;
    EXPECT_EQ(decodeAfterSign(value, "A\x21\x1E\x22\x17", pos), 1);
    EXPECT_EQ(slots[0], "1");
    EXPECT_EQ(slots[1], "2");
    EXPECT_EQ(slots[2], "old2");  // the record carries only two fields
    EXPECT_EQ(pos, 4u);           // on the ETB
}

TEST(EncodedValue, ThreeFieldPlainTextSurvivesBothWays) {
    std::array<std::string, 3> slots{"AB", "C", ""};
    EncodedValue value('T', "TEXT", slots.data(), 3, ValueMode::PlainText);
    const std::string wire = "T\x61\x62\x20\x1E\x63\x20\x1E\x1E\x17";
    EXPECT_EQ(encoded(value), wire);

    slots = {"x", "y", "z"};
    std::size_t pos = 0;
    EXPECT_EQ(decodeAfterSign(value, wire, pos), 1);
    EXPECT_EQ(slots[0], "AB");
    EXPECT_EQ(slots[1], "C");
    EXPECT_EQ(slots[2], "");
    EXPECT_EQ(pos, wire.size() - 1);
}

TEST(EncodedValue, FailedFieldKeepsItsTextAndLaterFieldsAreRead) {
    std::array<std::string, 3> slots{"", "5", "6"};
    EncodedValue value('N', "NUMS", slots.data(), 3, ValueMode::PackedDigits);
    const std::string wire = encoded(value);
    EXPECT_EQ(wire, "N\x1E\x25\x1E\x26\x1E\x17");
    slots = {"kept", "", ""};
    std::size_t pos = 0;
    EXPECT_EQ(decodeAfterSign(value, wire, pos), 0);
    EXPECT_EQ(slots[0], "kept");
    EXPECT_EQ(slots[1], "5");
    EXPECT_EQ(slots[2], "6");
}

TEST(EncodedValue, SetTextFillsColumnsUntilClearAndWriteCsvWritesAllFields) {
    std::array<std::string, 4> slots{"", "", "", "untouched"};
    EncodedValue value('A', "NUMS", slots.data(), 3, ValueMode::PackedDigits);
    for (const char* text : {"a", "b", "c", "d"}) {
        value.setText(text);
    }
    EXPECT_EQ(slots[0], "a");
    EXPECT_EQ(slots[1], "b");
    EXPECT_EQ(slots[2], "c");
    EXPECT_EQ(slots[3], "untouched");
    value.clear();
    value.setText("e");
    EXPECT_EQ(slots[0], "e");
    std::string csv;
    value.writeCsv(csv);
    EXPECT_EQ(csv, "e;b;c;");
}

TEST(EncodedValue, ValidityFollowsTheMode) {
    std::string slot;
    EncodedValue packed('A', "PRIC", &slot, 1, ValueMode::PackedDigits);
    EncodedValue binary('B', "COUN", &slot, 1, ValueMode::Binary);
    EXPECT_TRUE(packed.isValidText("12 5F"));
    EXPECT_FALSE(packed.isValidText("12,50"));
    EXPECT_TRUE(binary.isValidText("-300"));
    EXPECT_FALSE(binary.isValidText("12X5"));
    // A binary number must fit the bytes the scale keeps it in.
    EncodedValue twoBytes('C', "COUN", &slot, 1, ValueMode::Binary, 2);
    EXPECT_TRUE(twoBytes.isValidText("65535"));
    EXPECT_FALSE(twoBytes.isValidText("65536"));
    EXPECT_FALSE(twoBytes.isValidText("-1"));
}

TEST(TextLinesValue, EachLineIsItsOwnGroupWithNumberAndFormatDigit) {
    std::array<std::string, 2> slots{"HELLO", ""};
    TextLinesValue value('L', slots.data(), 2);
    EXPECT_EQ(encoded(value), "L12HELLO\x17L20\x17");

    slots = {"5BIG", "9X"};
    EXPECT_EQ(encoded(value), "L15BIG\x17L229X\x17");

    slots = {"old", "old"};
    std::size_t pos = 0;
    const std::string record = "L12HELLO\x17L20\x17X";
    EXPECT_EQ(decodeAfterSign(value, record, pos), 1);
    EXPECT_EQ(slots[0], "2HELLO");
    EXPECT_EQ(slots[1], "0");
    EXPECT_EQ(pos, 12u);  // on the ETB before the other attribute's group
}

TEST(TextLinesValue, ColumnsBeyondItsLinesAreIgnoredAndNeverReachTheNextAttribute) {
    std::array<std::string, 3> slots{"", "", "next attribute"};
    TextLinesValue value('L', slots.data(), 2);
    for (const char* text : {"1a", "1b", "1c"}) {
        value.setText(text);
    }
    EXPECT_EQ(slots[0], "1a");
    EXPECT_EQ(slots[1], "1b");
    EXPECT_EQ(slots[2], "next attribute");
    value.clear();
    value.setText("2d");
    std::string csv;
    value.writeCsv(csv);
    EXPECT_EQ(csv, "2d;1b;");
}

// A received record ends with ETX and the check byte; here the check byte is 17h, which looks
// like an ETB. The lines must end at the ETX, so that a restore sends neither byte back.
TEST(TextLinesValue, LinesThatEndTheRecordStopAtEtx) {
    std::array<std::string, 3> slots{"old", "old", "old"};
    TextLinesValue value('L', slots.data(), 3);
    std::size_t pos = 0;
    const std::string record = "L12HI\x17L20\x03\x17";
    EXPECT_EQ(decodeAfterSign(value, record, pos), 1);
    EXPECT_EQ(slots[0], "2HI");
    EXPECT_EQ(slots[1], "0");
    EXPECT_EQ(slots[2], "old");
    EXPECT_EQ(pos, 9u);  // on the ETX
    EXPECT_EQ(encoded(value).substr(0, 10), "L12HI\x17L20\x17");
}

TEST(TextLinesValue, NeverReadsPastTheEndOfTheRecord) {
    std::array<std::string, 3> slots{"a", "b", "c"};
    TextLinesValue value('L', slots.data(), 3);
    std::size_t pos = 0;
    // The first line runs to the end of the record: the other lines become empty.
    EXPECT_EQ(decodeAfterSign(value, "L12AB", pos), 1);
    EXPECT_EQ(slots[0], "2AB");
    EXPECT_EQ(slots[1], "");
    EXPECT_EQ(slots[2], "");

    slots = {"a", "b", "c"};
    EXPECT_EQ(decodeAfterSign(value, "L", pos), 0);  // nothing after the sign
    EXPECT_EQ(slots[0], "a");
    EXPECT_EQ(decodeAfterSign(value, "L1", pos), 0);  // a line number and nothing else
    EXPECT_EQ(slots[0], "a");
    // The next line is cut off after its sign: the line before it is not stored either.
    EXPECT_EQ(decodeAfterSign(value, "L12A\x17L", pos), 0);
    EXPECT_EQ(slots[0], "a");
    EXPECT_EQ(slots[1], "b");
    EXPECT_EQ(slots[2], "c");
}

TEST(DigitStringValue, PadsToItsWidthAndReadsWithoutLeadingZeros) {
    std::string slot = "42";
    DigitStringValue value('D', "EANC", &slot, 6);
    EXPECT_EQ(encoded(value), "D000042\x17");

    slot = "12 34";
    EXPECT_EQ(encoded(value), "D001234\x17");
    EXPECT_EQ(slot, "1234");  // the slot loses its blanks
    slot = "12345678";
    EXPECT_EQ(encoded(value), "D12345678\x17");
    // Only digits, blanks aside, and at most the width of them can be sent as they stand.
    EXPECT_TRUE(value.isValidText(""));
    EXPECT_TRUE(value.isValidText("12 3456"));
    EXPECT_FALSE(value.isValidText("1234567"));
    EXPECT_FALSE(value.isValidText("4,01E+12"));
    EXPECT_FALSE(value.isValidText("-42"));

    std::size_t pos = 0;
    EXPECT_EQ(decodeAfterSign(value, "D000042\x17", pos), 1);
    EXPECT_EQ(slot, "42");
    EXPECT_EQ(pos, 7u);
    decodeAfterSign(value, "D000\x17", pos);
    EXPECT_EQ(slot, "0");
    decodeAfterSign(value, "D0102\x03\x17", pos);
    EXPECT_EQ(slot, "102");
    EXPECT_EQ(pos, 5u);
}

TEST(KeyValue, EachModeCodesTheTablesKey) {
    std::int32_t key = 7;
    KeyValue fourDigits('K', key, KeyValue::Mode::FourDigits);
    KeyValue packed('K', key, KeyValue::Mode::PackedDigits);
    KeyValue binary('K', key, KeyValue::Mode::Binary);
    EXPECT_EQ(encoded(fourDigits), "K0007\x17");
    key = 1234;
    EXPECT_EQ(encoded(packed), "K\x54\x32\x17");
    key = 300;
    EXPECT_EQ(encoded(binary), "K\x4C\x21\x17");

    std::size_t pos = 0;
    EXPECT_EQ(decodeAfterSign(fourDigits, "K0012\x17", pos), 1);
    EXPECT_EQ(key, 12);
    EXPECT_EQ(pos, 5u);
    EXPECT_EQ(decodeAfterSign(fourDigits, "K09", pos), 1);  // fewer bytes at the end
    EXPECT_EQ(key, 9);
    EXPECT_EQ(decodeAfterSign(packed, "K\x54\x32\x17", pos), 1);
    EXPECT_EQ(key, 1234);
    EXPECT_EQ(decodeAfterSign(binary, "K\xFF\x2F\x2F\x17", pos), 1);
    EXPECT_EQ(key, 255);
    EXPECT_EQ(decodeAfterSign(binary, "K\x17", pos), 0);  // no bytes: the key stays
    EXPECT_EQ(key, 255);

    std::string csv;
    binary.writeCsv(csv);
    EXPECT_EQ(csv, "255;");
    binary.setText(" 42");
    EXPECT_EQ(key, 42);
    binary.setText("abc");
    EXPECT_EQ(key, 0);
    EXPECT_TRUE(binary.isValidText(""));
    EXPECT_TRUE(binary.isValidText("-2147483648"));
    EXPECT_FALSE(binary.isValidText("2147483648"));
    EXPECT_FALSE(binary.isValidText("12a"));
    // The digit codings have no sign: a negative key would reach the scale without it.
    EXPECT_FALSE(packed.isValidText("-5"));
    EXPECT_FALSE(fourDigits.isValidText("-5"));
    EXPECT_TRUE(packed.isValidText("+5"));
}

TEST(CharValue, SendsOneRawByteAndGuardsTheEndOfTheRecord) {
    std::string slot = "\xE4";
    CharValue value('C', &slot);
    EXPECT_EQ(encoded(value), "C\xE4\x17");

    std::size_t pos = 0;
    EXPECT_EQ(decodeAfterSign(value, "C\x1E\x17", pos), 1);
    EXPECT_EQ(slot, "\x1E");
    EXPECT_EQ(pos, 2u);

    slot = "kept";
    EXPECT_EQ(decodeAfterSign(value, "C", pos), 0);
    EXPECT_EQ(slot, "kept");
    EXPECT_EQ(pos, 1u);

    // An empty value: the ETB stays for the record's framing.
    EXPECT_EQ(decodeAfterSign(value, "C\x17", pos), 1);
    EXPECT_EQ(slot, "");
    EXPECT_EQ(pos, 1u);

    EXPECT_TRUE(value.isValidText("x"));
    EXPECT_TRUE(value.isValidText(""));
    EXPECT_FALSE(value.isValidText("xy"));
    EXPECT_FALSE(value.isValidText("\x03"));
}

// A translation table that sends the PC's 'a' as 'b' and shows the scale's 'b' as 'a';
// every other character passes unchanged.
class TranslatedTexts : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string lines;
        for (int code = 0x20; code <= 0xFF; ++code) {
            const int toScale = code == 'a' ? 'b' : code;
            const int fromScale = code == 'b' ? 'a' : code;
            char line[16];
            std::snprintf(line, sizeof line, "%02X %02X\r\n", toScale, fromScale);
            lines += line;
        }
        testing_support::writeFile(dir_.file("QT_TRANS.DAT"), lines);
        translation_ = new CharTranslation(dir_.path());
        g_charTranslation = translation_;
    }
    void TearDown() override {
        g_charTranslation = nullptr;
        delete translation_;
    }

    testing_support::TempDir dir_;
    CharTranslation* translation_ = nullptr;
};

TEST_F(TranslatedTexts, TranslatedModeAndTextLinesTranslatePlainTextDoesNot) {
    EXPECT_EQ(encodeValueBytes("a", ValueMode::TranslatedText), "\x82\x20");
    EXPECT_EQ(encodeValueBytes("a", ValueMode::PlainText), "\x81\x20");

    std::string slot = "old";
    const std::string record = "\x82\x20\x17";
    std::size_t pos = 0;
    ASSERT_TRUE(decodeValueBytes(record, pos, record.size(), ValueMode::TranslatedText, slot));
    EXPECT_EQ(slot, "a");
    pos = 0;
    ASSERT_TRUE(decodeValueBytes(record, pos, record.size(), ValueMode::PlainText, slot));
    EXPECT_EQ(slot, "b");

    std::string line = "2a";
    TextLinesValue lines('L', &line, 1);
    EXPECT_EQ(encoded(lines), "L12b\x17");
    EXPECT_EQ(decodeAfterSign(lines, "L12b\x17", pos), 1);
    EXPECT_EQ(line, "2a");
}

}  // namespace
