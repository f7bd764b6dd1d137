#include "diag/config_file.h"

#include <gtest/gtest.h>

#include "diag/qm_com_exceptions.h"
#include "support/global_state.h"
#include "support/test_files.h"

using testing_support::ProcessFixture;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

LinkSettings settingsFrom(const TempDir& dir) {
    ConfigFile file(dir.path());
    LinkSettings settings;
    settings.port = 99;
    EXPECT_TRUE(file.getSettings(settings));
    return settings;
}

// The failure text of loading a file holding `content`, or "" when it loads.
std::string failureOf(const std::string& content) {
    ProcessFixture process("9;bad configuration\n");
    TempDir dir;
    writeFile(dir.file("Kwlink.cfg"), content);
    try {
        ConfigFile file(dir.path());
    } catch (const QmComExceptions& e) {
        return e.message();
    }
    return "";
}

}  // namespace

TEST(ConfigFile, MissingFileIsCreatedWithTheDefaults) {
    TempDir dir;
    LinkSettings settings = settingsFrom(dir);
    EXPECT_EQ(readFile(dir.file("Kwlink.cfg")), "2;15;2;20;5");
    EXPECT_EQ(settings.port, 2u);
    EXPECT_DOUBLE_EQ(settings.receiveTimeout, 15.0);
    EXPECT_DOUBLE_EQ(settings.ackTimeout, 2.0);
    EXPECT_EQ(settings.pause, 20u);
    EXPECT_EQ(settings.maxRepeats, 5u);
}

TEST(ConfigFile, ReadsTheFiveValuesSkippingEmptyFields) {
    for (const char* content : {"3;10;1.5;50;3", "3;;10;1.5;50;3", ";3;10;1.5;50;3;77\r\n9;9"}) {
        TempDir dir;
        writeFile(dir.file("Kwlink.cfg"), content);
        LinkSettings settings = settingsFrom(dir);
        EXPECT_EQ(settings.port, 3u) << content;
        EXPECT_DOUBLE_EQ(settings.receiveTimeout, 10.0) << content;
        EXPECT_DOUBLE_EQ(settings.ackTimeout, 1.5) << content;
        EXPECT_EQ(settings.pause, 50u) << content;
        EXPECT_EQ(settings.maxRepeats, 3u) << content;
        EXPECT_EQ(readFile(dir.file("Kwlink.cfg")), content) << "a loaded file is not rewritten";
    }
}

TEST(ConfigFile, AcceptsAnyNumberNotationOfTheTimeouts) {
    TempDir dir;
    writeFile(dir.file("Kwlink.cfg"), "1;1.5e1;15.0;0;0\n");
    LinkSettings settings = settingsFrom(dir);
    EXPECT_DOUBLE_EQ(settings.receiveTimeout, 15.0);
    EXPECT_DOUBLE_EQ(settings.ackTimeout, 15.0);
}

TEST(ConfigFile, FewerThanFiveFieldsInTheFirst19CharactersIsError9) {
    EXPECT_EQ(failureOf("3;10;1.5;50"), "bad configuration");
    EXPECT_EQ(failureOf(""), "bad configuration");
    EXPECT_EQ(failureOf("\n3;10;1.5;50;3"), "bad configuration");
    // 24 characters, the fifth field starting at character 24.
    EXPECT_EQ(failureOf("3;10.000000;1.50000;50;3"), "bad configuration");
    EXPECT_EQ(failureOf("3;10;1.5;50;3"), "");
    // The fifth field starting at character 19 still counts, at character 20 it is cut off.
    EXPECT_EQ(failureOf("3;10.000;1.5000;5;7"), "");
    EXPECT_EQ(failureOf("3;10.0000;1.5000;5;7"), "bad configuration");
}

TEST(ConfigFile, ValuesOutsideTheirLimitsAreError9) {
    // Time-outs finite and from 0.05 to 3600 s.
    for (const char* content : {"2;inf;2;20;5", "2;15;nan;20;5", "2;1e308;2;20;5", "2;15;0.04;20;5",
                                "2;3601;2;20;5", "2;15;-1;20;5", "2;0;2;20;5", "2;x;2;20;5"}) {
        EXPECT_EQ(failureOf(content), "bad configuration") << content;
    }
    // Pause at most 60000 ms, at most 255 repeats ("%u" reads -1 as 4294967295).
    for (const char* content :
         {"2;15;2;60001;5", "2;15;2;4294967295;5", "2;15;2;20;256", "2;15;2;-1;5"}) {
        EXPECT_EQ(failureOf(content), "bad configuration") << content;
    }
    for (const char* content : {"2;0.05;3600;60000;255", "2;15;2;0;0"}) {
        EXPECT_EQ(failureOf(content), "") << content;
    }
}

TEST(ConfigFile, SetPortRewritesTheWholeFileOnlyOnAChange) {
    TempDir dir;
    writeFile(dir.file("Kwlink.cfg"), "3;10;1.5;50;3\r\n");
    {
        ConfigFile file(dir.path());
        file.setPort(3);
        EXPECT_EQ(readFile(dir.file("Kwlink.cfg")), "3;10;1.5;50;3\r\n");
        file.setPort(4);
        LinkSettings settings;
        ASSERT_TRUE(file.getSettings(settings));
        EXPECT_EQ(settings.port, 4u);
    }
    EXPECT_EQ(readFile(dir.file("Kwlink.cfg")), "4;10;1.5;50;3");
}

TEST(ConfigFile, FormatsTimeoutsInTheStreamsDefaultNotation) {
    LinkSettings settings;
    settings.receiveTimeout = 2.5;
    settings.ackTimeout = 0.25;
    EXPECT_EQ(ConfigFile::format(settings), "2;2.5;0.25;20;5");
}
