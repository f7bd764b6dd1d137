// The Linux build takes ANSI as Windows-1252 and OEM as code page 850, and must give the same
// bytes as the Windows conversion functions, so that both builds write the same files. The
// two 256-byte tables are derived once from glibc's iconv: each byte is decoded to its Unicode
// code point and encoded in the other code page. A character the other code page lacks gets
// the best-fit replacement that Windows uses for that target code page (listed below, the
// only values typed in by hand), else "?". Bytes below 80h are the same in both code pages.
#include <iconv.h>

#include <array>
#include <cstdint>
#include <cstdio>

#include "platform/code_pages.h"

namespace platform {
namespace {

using ByteTable = std::array<unsigned char, 256>;

// The byte Windows writes for a character without counterpart and without best fit.
constexpr unsigned char kDefaultChar = '?';

struct BestFit {
    std::uint32_t codePoint;
    unsigned char byte;
};

// Windows-1252 characters that code page 850 lacks, and their best fit in code page 850. The
// euro sign has none.
constexpr BestFit kBestFit850[] = {
    {0x02C6, 0x5E},  // modifier letter circumflex accent -> ^
    {0x02DC, 0x7E},  // small tilde -> ~
    {0x0152, 0x4F},  // capital ligature OE -> O
    {0x0153, 0x6F},  // small ligature oe -> o
    {0x0160, 0x53},  // capital S with caron -> S
    {0x0161, 0x73},  // small s with caron -> s
    {0x0178, 0x59},  // capital Y with diaeresis -> Y
    {0x017D, 0x5A},  // capital Z with caron -> Z
    {0x017E, 0x7A},  // small z with caron -> z
    {0x2013, 0x2D},  // en dash -> -
    {0x2014, 0x2D},  // em dash -> -
    {0x2018, 0x27},  // left single quotation mark -> '
    {0x2019, 0x27},  // right single quotation mark -> '
    {0x201A, 0x27},  // single low-9 quotation mark -> '
    {0x201C, 0x22},  // left double quotation mark -> "
    {0x201D, 0x22},  // right double quotation mark -> "
    {0x201E, 0x22},  // double low-9 quotation mark -> "
    {0x2020, 0xC5},  // dagger -> box drawing cross
    {0x2021, 0xCE},  // double dagger -> double box drawing cross
    {0x2022, 0x07},  // bullet -> 07h, the bullet of the OEM font
    {0x2026, 0x2E},  // horizontal ellipsis -> .
    {0x2030, 0x25},  // per mille sign -> %
    {0x2039, 0x3C},  // single left-pointing angle quotation mark -> <
    {0x203A, 0x3E},  // single right-pointing angle quotation mark -> >
    {0x2122, 0x54},  // trade mark sign -> T
};

// Code page 850 characters that Windows-1252 lacks, and their best fit in Windows-1252.
constexpr BestFit kBestFit1252[] = {
    {0x0131, 0x69},  // small dotless i -> i
    {0x2017, 0x3D},  // double low line -> =
    {0x2500, 0x2D},  // light horizontal -> -
    {0x2502, 0xA6},  // light vertical -> broken bar
    {0x250C, 0x2B},  // light down and right -> +
    {0x2510, 0x2B},  // light down and left -> +
    {0x2514, 0x2B},  // light up and right -> +
    {0x2518, 0x2B},  // light up and left -> +
    {0x251C, 0x2B},  // light vertical and right -> +
    {0x2524, 0xA6},  // light vertical and left -> broken bar
    {0x252C, 0x2D},  // light down and horizontal -> -
    {0x2534, 0x2D},  // light up and horizontal -> -
    {0x253C, 0x2B},  // light vertical and horizontal -> +
    {0x2550, 0x2D},  // double horizontal -> -
    {0x2551, 0xA6},  // double vertical -> broken bar
    {0x2554, 0x2B},  // double down and right -> +
    {0x2557, 0x2B},  // double down and left -> +
    {0x255A, 0x2B},  // double up and right -> +
    {0x255D, 0x2B},  // double up and left -> +
    {0x2560, 0xA6},  // double vertical and right -> broken bar
    {0x2563, 0xA6},  // double vertical and left -> broken bar
    {0x2566, 0x2D},  // double down and horizontal -> -
    {0x2569, 0x2D},  // double up and horizontal -> -
    {0x256C, 0x2B},  // double vertical and horizontal -> +
    {0x2580, 0xAF},  // upper half block -> macron
    {0x2584, 0x5F},  // lower half block -> _
    {0x2588, 0xA6},  // full block -> broken bar
    {0x2591, 0xA6},  // light shade -> broken bar
    {0x2592, 0xA6},  // medium shade -> broken bar
    {0x2593, 0xA6},  // dark shade -> broken bar
    {0x25A0, 0xA6},  // black square -> broken bar
};

// One iconv conversion, opened for the lifetime of the object.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) {
            iconv_close(cd_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts `in` completely; the number of output bytes, or -1 when iconv refuses.
    long convert(const char* in, std::size_t inLength, char* out, std::size_t outSize) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in);
        char* outPtr = out;
        std::size_t inLeft = inLength;
        std::size_t outLeft = outSize;
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
            inLeft != 0) {
            return -1;
        }
        return static_cast<long>(outPtr - out);
    }

  private:
    iconv_t cd_;
};

// Builds the table for the bytes 80h..FFh of code page `from` into code page `to`, going
// through UTF-32LE so that a character without a direct counterpart is still known by its
// code point and can be given its best fit.
ByteTable deriveTable(const char* from, const char* to, const BestFit* bestFits,
                      std::size_t bestFitCount) {
    ByteTable table{};
    for (unsigned i = 0; i < 256; ++i) {
        table[i] = static_cast<unsigned char>(i < 0x80 ? i : kDefaultChar);
    }
    Converter decoder("UTF-32LE", from);
    Converter encoder(to, "UTF-32LE");
    if (!decoder.ok() || !encoder.ok()) {
        std::fprintf(stderr,
                     "kwlink: iconv cannot convert from %s to %s; characters 80h..FFh become "
                     "'?'\n",
                     from, to);
        return table;
    }
    for (unsigned i = 0x80; i < 256; ++i) {
        const char in = static_cast<char>(i);
        unsigned char utf32[8];
        if (decoder.convert(&in, 1, reinterpret_cast<char*>(utf32), sizeof utf32) != 4) {
            continue;  // undefined in the source code page
        }
        char out[8];
        if (encoder.convert(reinterpret_cast<const char*>(utf32), 4, out, sizeof out) == 1) {
            table[i] = static_cast<unsigned char>(out[0]);
            continue;
        }
        const std::uint32_t codePoint = utf32[0] | (utf32[1] << 8) | (utf32[2] << 16) |
                                        (static_cast<std::uint32_t>(utf32[3]) << 24);
        for (std::size_t k = 0; k < bestFitCount; ++k) {
            if (bestFits[k].codePoint == codePoint) {
                table[i] = bestFits[k].byte;
                break;
            }
        }
    }
    return table;
}

const ByteTable& ansiToOemTable() {
    static const ByteTable table =
        deriveTable("CP1252", "CP850", kBestFit850, sizeof kBestFit850 / sizeof kBestFit850[0]);
    return table;
}

const ByteTable& oemToAnsiTable() {
    static const ByteTable table =
        deriveTable("CP850", "CP1252", kBestFit1252, sizeof kBestFit1252 / sizeof kBestFit1252[0]);
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
