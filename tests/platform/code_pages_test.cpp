#include "platform/code_pages.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

struct GoldenCode {
    unsigned code;
    unsigned ansiToOem;
    unsigned oemToAnsi;
};

// The Windows conversions for ANSI 1252 / OEM 850, made by make_code_page_golden.py from iconv
// and the Windows best-fit tables, independently of the program's own tables.
const GoldenCode kGolden[] = {
#include "platform/code_page_golden.inc"
};

// Both builds must give these bytes: natively through the derived tables, under wine through
// CharToOemBuffA / OemToCharBuffA, so that files written by either build are the same.
TEST(CodePages, EveryCodeConvertsAsOnWindowsWithCodePages1252And850) {
#ifdef _WIN32
    ASSERT_EQ(GetACP(), 1252u);
    ASSERT_EQ(GetOEMCP(), 850u) << "run wine with LC_ALL=de_DE.UTF-8 (needs that locale)";
#endif
    ASSERT_EQ(sizeof kGolden / sizeof kGolden[0], 224u);
    std::string allCodes;
    std::string expectedOem;
    std::string expectedAnsi;
    for (const GoldenCode& golden : kGolden) {
        std::string toOem(1, static_cast<char>(golden.code));
        std::string toAnsi = toOem;
        platform::ansiToOem(toOem);
        platform::oemToAnsi(toAnsi);
        EXPECT_EQ(static_cast<unsigned char>(toOem[0]), golden.ansiToOem)
            << "ANSI to OEM of code " << std::hex << golden.code;
        EXPECT_EQ(static_cast<unsigned char>(toAnsi[0]), golden.oemToAnsi)
            << "OEM to ANSI of code " << std::hex << golden.code;
        allCodes += static_cast<char>(golden.code);
        expectedOem += static_cast<char>(golden.ansiToOem);
        expectedAnsi += static_cast<char>(golden.oemToAnsi);
    }
    // Converting a whole text neither drops nor shifts a byte.
    std::string oem = allCodes;
    platform::ansiToOem(oem);
    EXPECT_EQ(oem, expectedOem);
    std::string ansi = allCodes;
    platform::oemToAnsi(ansi);
    EXPECT_EQ(ansi, expectedAnsi);
}

TEST(CodePages, ControlCodesAndNulPassUnchanged) {
    std::string text("\x00\x01\x02\x03\x06\x0A\x0D\x15\x17\x1A\x1E\x1F", 12);
    const std::string original = text;
    platform::ansiToOem(text);
    EXPECT_EQ(text, original);
    platform::oemToAnsi(text);
    EXPECT_EQ(text, original);
}

}  // namespace
