#include "dictionary/value_codec.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <random>
#include <string>

namespace {

// Decodes `bytes` followed by ETB from position 0; the decoded text, or "<failed>".
std::string decodeAll(const std::string& bytes, ValueMode mode, std::size_t* endPos = nullptr) {
    const std::string record = bytes + "\x17";
    std::size_t pos = 0;
    std::string text = "<failed>";
    if (!decodeValueBytes(record, pos, record.size(), mode, text)) {
        return "<failed>";
    }
    if (endPos != nullptr) {
        *endPos = pos;
    }
    return text;
}

TEST(ValueCodec, DigitModesPackTwoDigitsPerByteLeastSignificantFirst) {
    EXPECT_EQ(encodeValueBytes("12345", ValueMode::PackedDigits), "\x65\x43\x21");
    EXPECT_EQ(decodeAll("\x65\x43\x21", ValueMode::PackedDigits), "12345");

    EXPECT_EQ(encodeValueBytes("0", ValueMode::PackedDigits), "\x20");
    EXPECT_EQ(decodeAll("\x20", ValueMode::PackedDigits), "0");

    EXPECT_EQ(encodeValueBytes("123", ValueMode::ShiftedDigits), "\x50\x32");
    EXPECT_EQ(decodeAll("\x50\x32", ValueMode::ShiftedDigits), "123");

    // Blanks are not digits: 1 234 goes as 1234.
    EXPECT_EQ(encodeValueBytes("1 234", ValueMode::PackedDigits), "\x54\x32");
    // Hexadecimal digits of either case; the decoder writes upper case without leading zeros.
    EXPECT_EQ(encodeValueBytes("7e", ValueMode::PackedDigits), "\x9E");
    EXPECT_EQ(decodeAll("\x9E\x20", ValueMode::PackedDigits), "7E");
}

TEST(ValueCodec, BinaryIsTheNumbersValueLowByteFirstWithEscapeAbove222) {
    EXPECT_EQ(encodeValueBytes("255", ValueMode::Binary), "\xFF\x2F\x2F");
    EXPECT_EQ(decodeAll("\xFF\x2F\x2F", ValueMode::Binary), "255");

    // 222 is the last byte sent plain (as FEh), 223 the first escaped.
    EXPECT_EQ(encodeValueBytes("222", ValueMode::Binary), "\xFE");
    EXPECT_EQ(decodeAll("\xFE", ValueMode::Binary), "222");
    EXPECT_EQ(encodeValueBytes("223", ValueMode::Binary), "\xFF\x2D\x2F");
    EXPECT_EQ(decodeAll("\xFF\x2D\x2F", ValueMode::Binary), "223");
    EXPECT_EQ(encodeValueBytes("\xDE\xDF", ValueMode::PlainText), "\xFE\xFF\x2D\x2F\x20");

    EXPECT_EQ(encodeValueBytes("300", ValueMode::Binary), "\x4C\x21");
    EXPECT_EQ(decodeAll("\x4C\x21", ValueMode::Binary), "300");

    // -1 is FFFFFFFF: four escaped bytes; decoded it is -1 again.
    const std::string minusOne = "\xFF\x2F\x2F\xFF\x2F\x2F\xFF\x2F\x2F\xFF\x2F\x2F";
    EXPECT_EQ(encodeValueBytes("-1", ValueMode::Binary), minusOne);
    EXPECT_EQ(decodeAll(minusOne, ValueMode::Binary), "-1");
}

// The 32- and 64-bit borders of the binary modes. Binary reads up to four bytes as a signed
// 32-bit number and longer values unsigned; WideBinary reads every value unsigned. A negative
// text goes as its 32-bit two's complement in both.
TEST(ValueCodec, BinaryValuesUpToEightBytes) {
    const std::string ff = "\xFF\x2F\x2F";  // the byte FFh, escaped
    const struct {
        const char* text;
        std::string bytes;
        const char* asBinary;
        const char* asWideBinary;
        std::size_t size;
    } rows[] = {
        {"-5", "\xFF\x2F\x2B" + ff + ff + ff, "-5", "4294967291", 4},
        {"4294967291", "\xFF\x2F\x2B" + ff + ff + ff, "-5", "4294967291", 4},
        {"-2147483648", "\x20\x20\x20\xA0", "-2147483648", "2147483648", 4},
        {"4294967296", "\x20\x20\x20\x20\x21", "4294967296", "4294967296", 5},
        {"1108152157446", "\x26\x25\x24\x23\x22\x21", "1108152157446", "1108152157446", 6},
        {"18446744073709551615", ff + ff + ff + ff + ff + ff + ff + ff, "18446744073709551615",
         "18446744073709551615", 8},
        {"255", ff, "255", "255", 1},
        {"256", "\x20\x21", "256", "256", 2},
    };
    for (const auto& row : rows) {
        for (ValueMode mode : {ValueMode::Binary, ValueMode::WideBinary}) {
            EXPECT_TRUE(isValidValueText(row.text, mode)) << row.text;
            EXPECT_EQ(encodeValueBytes(row.text, mode), row.bytes) << row.text;
        }
        EXPECT_EQ(decodeAll(row.bytes, ValueMode::Binary), row.asBinary) << row.text;
        EXPECT_EQ(decodeAll(row.bytes, ValueMode::WideBinary), row.asWideBinary) << row.text;
        EXPECT_EQ(binaryValueSize(row.text), row.size) << row.text;
    }
    // Leading zero bytes do not count: six bytes holding 5 read as 5.
    EXPECT_EQ(decodeAll("\x25\x20\x20\x20\x20\x20", ValueMode::Binary), "5");
    // Nine significant bytes do not fit in 64 bits.
    for (ValueMode mode : {ValueMode::Binary, ValueMode::WideBinary}) {
        EXPECT_EQ(decodeAll("\x20\x20\x20\x20\x20\x20\x20\x20\x21", mode), "<failed>");
    }
    EXPECT_EQ(binaryValueSize("18446744073709551616"), 0u);
    EXPECT_EQ(binaryValueSize(" "), 0u);
}

TEST(ValueCodec, TextsAreCodedBytesEndedByACodedZero) {
    EXPECT_EQ(encodeValueBytes("AB", ValueMode::PlainText), "\x61\x62\x20");
    EXPECT_EQ(decodeAll("\x61\x62\x20", ValueMode::PlainText), "AB");
    EXPECT_EQ(encodeValueBytes("\xE4", ValueMode::PlainText), "\xFF\x2E\x24\x20");
    EXPECT_EQ(decodeAll("\xFF\x2E\x24\x20", ValueMode::PlainText), "\xE4");
    // Without a translation table the translated mode codes the same bytes.
    EXPECT_EQ(encodeValueBytes("AB", ValueMode::TranslatedText), "\x61\x62\x20");
}

TEST(ValueCodec, EmptyTextSendsNothingAndDecodesOnlyInTextModes) {
    for (ValueMode mode : {ValueMode::PackedDigits, ValueMode::ShiftedDigits, ValueMode::Binary,
                           ValueMode::TranslatedText, ValueMode::PlainText}) {
        EXPECT_EQ(encodeValueBytes("", mode), "");
    }
    EXPECT_EQ(encodeValueBytes("  ", ValueMode::Binary), "");
    EXPECT_EQ(decodeAll("", ValueMode::PlainText), "");
    EXPECT_EQ(decodeAll("", ValueMode::TranslatedText), "");

    // A digit value without bytes fails and leaves the target as it was.
    for (const std::string record : {"\x17", "\x03", "\x1E\x17", ""}) {
        std::string target = "previous";
        std::size_t pos = 0;
        EXPECT_FALSE(decodeValueBytes(record, pos, record.size(), ValueMode::PackedDigits, target));
        EXPECT_EQ(target, "previous");
        EXPECT_EQ(pos, 0u);
    }
}

TEST(ValueCodec, TextStopsOnItsTerminatorAndDigitsBeforeFraming) {
    std::size_t end = 99;
    EXPECT_EQ(decodeAll("\x61\x20\x62", ValueMode::PlainText, &end), "A");
    EXPECT_EQ(end, 1u);  // left on the terminator
    EXPECT_EQ(decodeAll("\x25\x1E\x26", ValueMode::PackedDigits, &end), "5");
    EXPECT_EQ(end, 1u);  // left on the RS
    EXPECT_EQ(decodeAll("\x25\x03\x26", ValueMode::PackedDigits, &end), "5");
    EXPECT_EQ(end, 1u);  // left on the ETX
    EXPECT_EQ(decodeAll("\x25\x26", ValueMode::PackedDigits, &end), "605");
    EXPECT_EQ(end, 2u);  // left on the ETB
}

TEST(ValueCodec, CutOffEscapeFailsWithoutReadingPastTheRecord) {
    for (const std::string& record :
         {std::string("\xFF"), std::string("\xFF\x2F"), std::string("\xFF\x17\x2F"),
          std::string("\xFF\x2F\x03"), std::string("\xFF\x2F\x1E")}) {
        for (ValueMode mode : {ValueMode::PackedDigits, ValueMode::PlainText}) {
            std::string target = "kept";
            std::size_t pos = 0;
            EXPECT_FALSE(decodeValueBytes(record, pos, record.size(), mode, target));
            EXPECT_EQ(target, "kept");
        }
    }
    // The length bounds the reading even when the string goes on.
    const std::string record = "\x61\x62\xFF\x2F\x2F\x20";
    std::size_t pos = 0;
    std::string target;
    ASSERT_TRUE(decodeValueBytes(record, pos, 2, ValueMode::PlainText, target));
    EXPECT_EQ(target, "AB");
    EXPECT_EQ(pos, 2u);
    pos = 0;
    EXPECT_FALSE(decodeValueBytes(record, pos, 4, ValueMode::PlainText, target));
}

TEST(ValueCodec, InvalidDigitTextsAreRefusedAndEncodedPredictably) {
    EXPECT_TRUE(isValidValueText("12 aB f0", ValueMode::PackedDigits));
    EXPECT_TRUE(isValidValueText("", ValueMode::ShiftedDigits));
    EXPECT_FALSE(isValidValueText("12X5", ValueMode::PackedDigits));
    EXPECT_FALSE(isValidValueText("12,50", ValueMode::ShiftedDigits));
    // An invalid digit counts as 0 and keeps its place: 12X5 goes as 1205.
    EXPECT_EQ(encodeValueBytes("12X5", ValueMode::PackedDigits), "\x25\x32");

    EXPECT_TRUE(isValidValueText("-2147483648", ValueMode::Binary));
    EXPECT_TRUE(isValidValueText(" 4294967295", ValueMode::Binary));
    EXPECT_TRUE(isValidValueText("+12", ValueMode::Binary));
    EXPECT_TRUE(isValidValueText("", ValueMode::Binary));
    EXPECT_FALSE(isValidValueText("18446744073709551616", ValueMode::Binary));
    EXPECT_FALSE(isValidValueText("-2147483649", ValueMode::WideBinary));
    EXPECT_FALSE(isValidValueText("1A", ValueMode::Binary));
    EXPECT_FALSE(isValidValueText("12.5", ValueMode::Binary));
    EXPECT_FALSE(isValidValueText("-", ValueMode::Binary));
    EXPECT_FALSE(isValidValueText("1-2", ValueMode::Binary));
    // An invalid Binary text goes as 0.
    EXPECT_EQ(encodeValueBytes("12abc", ValueMode::Binary), "\x20");

    EXPECT_TRUE(isValidValueText("any \xE4 text;", ValueMode::PlainText));
    EXPECT_FALSE(isValidValueText(std::string("a\0b", 3), ValueMode::PlainText));
}

// Random valid texts of each mode come back from decode(encode(text)) in their normal form:
// digits upper-case without blanks and leading zeros, numbers as "%d", texts unchanged.
TEST(ValueCodec, RoundTripOfRandomValidTexts) {
    std::mt19937 random(20240611);
    auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    const std::string hexDigits = "0123456789abcdefABCDEF";

    for (int round = 0; round < 400; ++round) {
        for (ValueMode mode : {ValueMode::PackedDigits, ValueMode::ShiftedDigits}) {
            std::string text;
            std::string normal;
            const int digits = pick(1, 14);
            for (int i = 0; i < digits; ++i) {
                if (pick(0, 5) == 0) {
                    text.push_back(' ');
                }
                const char c = hexDigits[pick(0, static_cast<int>(hexDigits.size()) - 1)];
                text.push_back(c);
                normal.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
            }
            normal.erase(0, std::min(normal.find_first_not_of('0'), normal.size() - 1));
            ASSERT_TRUE(isValidValueText(text, mode)) << text;
            EXPECT_EQ(decodeAll(encodeValueBytes(text, mode), mode), normal) << "'" << text << "'";
        }

        const std::int32_t number = static_cast<std::int32_t>(random());
        std::string text = std::to_string(number);
        if (number >= 0 && pick(0, 3) == 0) {
            text = "00" + text;
        }
        ASSERT_TRUE(isValidValueText(text, ValueMode::Binary)) << text;
        EXPECT_EQ(decodeAll(encodeValueBytes(text, ValueMode::Binary), ValueMode::Binary),
                  std::to_string(number));

        for (ValueMode mode : {ValueMode::PlainText, ValueMode::TranslatedText}) {
            std::string plain(static_cast<std::size_t>(pick(0, 30)), ' ');
            for (char& c : plain) {
                c = static_cast<char>(pick(1, 255));
            }
            ASSERT_TRUE(isValidValueText(plain, mode));
            EXPECT_EQ(decodeAll(encodeValueBytes(plain, mode), mode), plain);
        }
    }
}

}  // namespace
