#include "diag/message_texts.h"

#include <gtest/gtest.h>

#include "diag/qm_com_exceptions.h"
#include "platform/platform.h"
#include "support/test_files.h"

using testing_support::TempDir;
using testing_support::writeFile;

namespace {

// Loads a "Messages.res" holding `content` from a fresh directory.
MessageTexts load(const TempDir& dir, const std::string& content) {
    writeFile(dir.file("Messages.res"), content);
    return MessageTexts(dir.path());
}

std::string failureOf(const std::string& content) {
    TempDir dir;
    writeFile(dir.file("Messages.res"), content);
    try {
        MessageTexts texts(dir.path());
    } catch (const QmComExceptions& e) {
        return e.message();
    }
    return "(no failure)";
}

}  // namespace

TEST(MessageTexts, TakesNumberAndTextPerLineWhateverTheLineEnds) {
    TempDir dir;
    MessageTexts texts = load(dir, "1;one\r\n2;two\n3;three");
    EXPECT_EQ(texts.text(1), "one");  // no trailing CR
    EXPECT_EQ(texts.text(2), "two");
    EXPECT_EQ(texts.text(3), "three");  // last line without a line end
    EXPECT_EQ(texts.text(4), "");
}

TEST(MessageTexts, SplitsLikeStrtokAndKeepsBlanksAroundTheText) {
    TempDir dir;
    MessageTexts texts = load(dir,
                              ";12;;first; more\n  7; padded text \n-3;negative\n;;;\n\n"
                              "40 trailing words;forty\n");
    EXPECT_EQ(texts.text(12), "first");
    EXPECT_EQ(texts.text(7), " padded text ");
    EXPECT_EQ(texts.text(-3), "negative");
    EXPECT_EQ(texts.text(40), "forty");
}

TEST(MessageTexts, FirstLineOfANumberWins) {
    TempDir dir;
    MessageTexts texts = load(dir, "5;earlier\n5;later\n");
    EXPECT_EQ(texts.text(5), "earlier");
}

TEST(MessageTexts, EmptyFileGivesEmptyTexts) {
    TempDir dir;
    MessageTexts texts = load(dir, "");
    EXPECT_EQ(texts.text(1), "");
}

TEST(MessageTexts, OverlongLineEndsTheReadingThere) {
    TempDir dir;
    std::string longLine = "2;" + std::string(248, 'x');
    ASSERT_EQ(longLine.size(), 250u);
    MessageTexts texts = load(dir, "1;before\n" + longLine + "\n3;after\n");
    EXPECT_EQ(texts.text(1), "before");
    EXPECT_EQ(texts.text(2), "");
    EXPECT_EQ(texts.text(3), "");
}

TEST(MessageTexts, LineOf199CharactersIsStillTaken) {
    TempDir dir;
    std::string line = "2;" + std::string(197, 'y');
    MessageTexts texts = load(dir, line + "\r\n3;after\r\n");
    EXPECT_EQ(texts.text(2), std::string(197, 'y'));
    EXPECT_EQ(texts.text(3), "after");
}

TEST(MessageTexts, ReportsMissingFileAndMalformedLinesWithFixedTexts) {
    TempDir dir;
    try {
        MessageTexts texts(dir.path());
        FAIL() << "a missing file must fail";
    } catch (const QmComExceptions& e) {
        EXPECT_EQ(e.message(), "Can't open File Messages.res");
    }
    // A directory of that name is no file of empty texts.
    ASSERT_TRUE(platform::makeDirectory(dir.file("Messages.res")));
    try {
        MessageTexts texts(dir.path());
        FAIL() << "a directory must fail";
    } catch (const QmComExceptions& e) {
        EXPECT_EQ(e.message(), "Can't open File Messages.res");
    }
    EXPECT_EQ(failureOf("1;one\n12\n"), "Wrong-Format in Messages.res");
    EXPECT_EQ(failureOf("12;;;\n"), "Wrong-Format in Messages.res");
    EXPECT_EQ(failureOf("   \n"), "Wrong-Format in Messages.res");
}

TEST(MessageTexts, InstalledFileHasATextForEveryNumberTheProgramUses) {
    MessageTexts texts(platform::programDirectory());
    for (int number = 1; number <= 43; ++number) {
        if (number == 30) {
            continue;
        }
        EXPECT_FALSE(texts.text(number).empty()) << "message " << number;
        EXPECT_EQ(texts.text(number).find(';'), std::string::npos);
    }
}
