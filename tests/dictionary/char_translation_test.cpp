#include "dictionary/char_translation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "job/job_test_support.h"
#include "platform/platform.h"
#include "support/test_files.h"

namespace {

using testing_support::TempDir;
using testing_support::writeFile;

std::string hexPair(unsigned toScale, unsigned fromScale) {
    char line[16];
    std::snprintf(line, sizeof line, "%02X %02X", toScale, fromScale);
    return line;
}

// The 224 lines of a file that leaves every code as it is, each line ended by `lineEnd`.
std::string identityFile(const std::string& lineEnd = "\r\n") {
    std::string content;
    for (unsigned code = 0x20; code <= 0xFF; ++code) {
        content += hexPair(code, code) + lineEnd;
    }
    return content;
}

// An identity file with line `index` (code 20h + index) replaced by `line`.
std::string fileWithLine(unsigned index, const std::string& line) {
    std::string content;
    for (unsigned code = 0x20; code <= 0xFF; ++code) {
        content += (code - 0x20 == index ? line : hexPair(code, code)) + "\r\n";
    }
    return content;
}

class CharTranslationTest : public WithMessageTexts {
  protected:
    CharTranslation load(const std::string& content) {
        writeFile(dir_.file("QT_TRANS.DAT"), content);
        return CharTranslation(dir_.path());
    }

    std::string loadError(const std::string& content) {
        writeFile(dir_.file("QT_TRANS.DAT"), content);
        return thrownText([&] { CharTranslation translation(dir_.path()); });
    }

    TempDir dir_;
};

TEST_F(CharTranslationTest, IdentityFileLeavesOnlyTheCodePageConversion) {
    CharTranslation translation = load(identityFile());
    // a-umlaut is E4h in Windows-1252 and 84h in code page 850.
    std::string text = "K\xE4se 1";
    translation.toScale(text);
    EXPECT_EQ(text, "K\x84se 1");
    translation.fromScale(text);
    EXPECT_EQ(text, "K\xE4se 1");
}

TEST_F(CharTranslationTest, InstalledFileLoads) {
    CharTranslation translation(platform::programDirectory());
    std::string text = "\xE4";
    translation.toScale(text);
    EXPECT_EQ(text, "\x84");
}

TEST_F(CharTranslationTest, PairsTranslateEachDirectionSeparately) {
    // Line 22h belongs to "B": PC "B" goes to the scale as 8Eh, scale "B" comes back as "A".
    CharTranslation translation = load(fileWithLine(0x22, "8E 41"));
    std::string text = "ABC";
    translation.toScale(text);
    EXPECT_EQ(text,
              "A\x8E"
              "C");
    text = "ABC";
    translation.fromScale(text);
    EXPECT_EQ(text, "AAC");
}

TEST_F(CharTranslationTest, ControlCharactersPassThrough) {
    // Every code 20h..FFh maps to "X" towards the scale and "Y" back; bytes below 20h do not
    // take part.
    std::string content;
    for (int i = 0; i < 224; ++i) {
        content += "58 59\n";
    }
    CharTranslation translation = load(content);
    const std::string controls("\x17\r\n\x02\x03\x00\x1F", 7);
    std::string text = "a" + controls + "\xE4";
    translation.toScale(text);
    EXPECT_EQ(text, "X" + controls + "X");
    text = "a" + controls + "\x84";
    translation.fromScale(text);
    EXPECT_EQ(text, "Y" + controls + "Y");
}

TEST_F(CharTranslationTest, OnlyTheFirst224LinesCount) {
    std::string content = identityFile();
    EXPECT_EQ(loadError(""), messageText(8));
    EXPECT_EQ(loadError(content.substr(0, content.size() - std::string("FF FF\r\n").size())),
              messageText(8));
    // Six further lines, even malformed ones, are ignored.
    CharTranslation translation = load(content + "\r\nzz\r\n41\r\n\r\n\r\n\r\n");
    std::string text = "\xFF";
    translation.fromScale(text);
    EXPECT_EQ(text, "\xA0");  // FFh of code page 850 is the no-break space A0h of 1252
}

TEST_F(CharTranslationTest, FieldsAreHexadecimalSeparatedByBlanks) {
    // Lower-case digits, a 0x prefix, runs of blanks, trailing text and a number wider than
    // a byte (its low 8 bits count) are all accepted; the last line needs no line end.
    std::string content = fileWithLine(0x21, "  0x8e   342 trailing text");
    content.resize(content.size() - 2);
    CharTranslation translation = load(content);
    std::string text = "A";
    translation.toScale(text);
    EXPECT_EQ(text, "\x8E");
    text = "A";
    translation.fromScale(text);
    EXPECT_EQ(text, "B");
    EXPECT_NO_THROW(load(identityFile("\n")));
}

TEST_F(CharTranslationTest, MalformedLinesAreError8) {
    EXPECT_EQ(loadError(fileWithLine(5, "41\t41")), messageText(8)) << "a tab does not separate";
    EXPECT_EQ(loadError(fileWithLine(5, "41")), messageText(8));
    EXPECT_EQ(loadError(fileWithLine(5, "")), messageText(8));
    EXPECT_EQ(loadError(fileWithLine(5, "   ")), messageText(8));
    EXPECT_EQ(loadError(fileWithLine(5, "G1 41")), messageText(8));
    EXPECT_EQ(loadError(fileWithLine(5, "41 -1")), messageText(8));
}

TEST_F(CharTranslationTest, LinesUpTo199Characters) {
    EXPECT_NO_THROW(load(fileWithLine(7, "41 41" + std::string(194, ' '))));
    EXPECT_EQ(loadError(fileWithLine(7, "41 41" + std::string(195, ' '))), messageText(8));
}

TEST_F(CharTranslationTest, MissingOrUnreadableFileIsError7) {
    EXPECT_EQ(thrownText([&] { CharTranslation translation(dir_.path()); }), messageText(7));
    ASSERT_TRUE(platform::makeDirectory(dir_.file("QT_TRANS.DAT")));
    EXPECT_EQ(thrownText([&] { CharTranslation translation(dir_.path()); }), messageText(7));
}

}  // namespace
