// The Linux build takes ANSI as Windows-1252 and OEM as code page 850. The two 256-byte tables
// are derived once from glibc's iconv rather than typed in by hand.
#include <iconv.h>

#include <array>
#include <cstdint>

#include "platform/code_pages.h"

namespace platform {
namespace {

using ByteTable = std::array<unsigned char, 256>;

// Converts each byte 80h..FFh on its own from `from` to `to`; a byte that does not come out
// as exactly one byte keeps `fallback`.
ByteTable deriveTable(const char* from, const char* to, unsigned char fallback) {
    ByteTable table{};
    for (unsigned i = 0; i < 256; ++i) {
        table[i] = static_cast<unsigned char>(i < 0x80 ? i : fallback);
    }
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return table;
    }
    for (unsigned i = 0x80; i < 256; ++i) {
        char in = static_cast<char>(i);
        char out[8];
        char* inPtr = &in;
        std::size_t inLeft = 1;
        char* outPtr = out;
        std::size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
            outPtr - out == 1) {
            table[i] = static_cast<unsigned char>(out[0]);
        }
    }
    iconv_close(cd);
    return table;
}

const ByteTable& ansiToOemTable() {
    static const ByteTable table = deriveTable("CP1252", "CP850", '?');
    return table;
}

const ByteTable& oemToAnsiTable() {
    static const ByteTable table = deriveTable("CP850", "CP1252", '?');
    return table;
}

void translate(std::string& text, const ByteTable& table) {
    for (char& c : text) {
        c = static_cast<char>(table[static_cast<unsigned char>(c)]);
    }
}

}  // namespace

void ansiToOem(std::string& text) {
    translate(text, ansiToOemTable());
}

void oemToAnsi(std::string& text) {
    translate(text, oemToAnsiTable());
}

}  // namespace platform
