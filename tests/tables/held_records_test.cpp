// The file of what a scale holds: what comes back after a save, and which files are not used.
#include "tables/held_records.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_files.h"

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

const std::string kIdent = "KW SIM/01";
// Every byte value a record may hold, blanks and backslashes included.
std::string allBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(static_cast<char>(i));
    }
    return bytes + " \\x41";
}

}  // namespace

TEST(HeldRecords, WhatIsSavedComesBackForThatScaleOnly) {
    TempDir dir;
    {
        HeldRecords held(dir.withSeparator(), kIdent, 1);
        held.remember("ARTI", 1, 5, allBytes());
        held.remember("AR I", 3, -7, "x");
        held.remember("ARTI", 1, 6, "six");
        held.forget("ARTI", 1, 6);
        ASSERT_TRUE(held.save());
        EXPECT_FALSE(held.changed());
    }
    EXPECT_EQ(HeldRecords::fileName(kIdent, 1), "Kwlink-01-KW_SIM_01.held");
    std::string content;
    ASSERT_TRUE(readFile(dir.file("Kwlink-01-KW_SIM_01.held"), content));
    EXPECT_EQ(content.substr(0, 23), "KWLINK HELD RECORDS 1\r\n");

    HeldRecords again(dir.withSeparator(), kIdent, 1);
    std::string detail;
    ASSERT_EQ(again.load(detail), HeldRecords::Loaded::Known) << detail;
    EXPECT_EQ(again.size(), 2u);
    EXPECT_TRUE(again.holds("ARTI", 1, 5, allBytes()));
    EXPECT_FALSE(again.holds("ARTI", 1, 5, allBytes() + "!"));
    EXPECT_FALSE(again.holds("ARTI", 2, 5, allBytes()));
    EXPECT_TRUE(again.holds("AR I", 3, -7, "x"));
    EXPECT_FALSE(again.holds("ARTI", 1, 6, "six"));
    again.forgetTable("ARTI", 1);
    EXPECT_FALSE(again.knowsTable("ARTI", 1));
    EXPECT_TRUE(again.knowsTable("AR I", 3));

    // The same file found under the name of another scale (copied, renamed) is not used.
    struct Case {
        const char* ident;
        int number;
    } others[] = {{"KW SIM/01", 2}, {"KW SIM/02", 1}, {"KW_SIM_01", 1}};
    for (const Case& other : others) {
        writeFile(dir.file(HeldRecords::fileName(other.ident, other.number)), content);
        HeldRecords foreign(dir.withSeparator(), other.ident, other.number);
        EXPECT_EQ(foreign.load(detail), HeldRecords::Loaded::OtherScale) << other.ident;
        EXPECT_EQ(foreign.size(), 0u);
        EXPECT_NE(detail.find("was written for the scale [01] KW SIM/01"), std::string::npos)
            << detail;
    }
}

TEST(HeldRecords, AFileNotAsWrittenIsNotUsedAtAll) {
    const std::string head = "KWLINK HELD RECORDS 1\r\nscale 01 S\r\nrecord ARTI 1 5 ok\r\n";
    const struct {
        const char* what;
        std::string content;
        HeldRecords::Loaded loaded;
    } cases[] = {
        {"no file", "", HeldRecords::Loaded::Missing},
        {"as written, LF only, a comment", "KWLINK HELD RECORDS 1\n# x\nscale 01 S\n",
         HeldRecords::Loaded::Known},
        {"a CSV file", "ANUM;ANA1;\r\n1;Salt\r\n", HeldRecords::Loaded::Damaged},
        {"no scale line", "KWLINK HELD RECORDS 1\r\n", HeldRecords::Loaded::Damaged},
        {"a bad escape", head + "record ARTI 1 6 \\q\r\n", HeldRecords::Loaded::Damaged},
        {"a key that is no number", head + "record ARTI 1 6x ok\r\n", HeldRecords::Loaded::Damaged},
        {"a field too many", head + "record ARTI 1 6 ok ok\r\n", HeldRecords::Loaded::Damaged},
        {"a record cut short", head + "record ARTI 1", HeldRecords::Loaded::Damaged},
    };
    for (const auto& c : cases) {
        TempDir dir;
        if (!c.content.empty()) {
            writeFile(dir.file(HeldRecords::fileName("S", 1)), c.content);
        }
        HeldRecords held(dir.withSeparator(), "S", 1);
        std::string detail;
        EXPECT_EQ(held.load(detail), c.loaded) << c.what;
        if (c.loaded != HeldRecords::Loaded::Known) {
            EXPECT_EQ(held.size(), 0u) << c.what;
            EXPECT_FALSE(held.holds("ARTI", 1, 5, "ok")) << c.what;
        }
    }
}
