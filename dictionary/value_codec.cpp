#include "dictionary/value_codec.h"

#include <algorithm>
#include <cstdint>

#include "diag/hex_digit.h"
#include "dictionary/char_translation.h"

namespace {

constexpr unsigned kLargestPlainByte = 222;
constexpr unsigned kCodeOffset = 0x20;
constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendCodedByte(std::string& out, unsigned value) {
    if (value <= kLargestPlainByte) {
        out.push_back(static_cast<char>(value + kCodeOffset));
    } else {
        out.push_back(record_bytes::kEscape);
        out.push_back(static_cast<char>((value >> 4) + kCodeOffset));
        out.push_back(static_cast<char>((value & 0x0F) + kCodeOffset));
    }
}

bool isFraming(char c) {
    return c == record_bytes::kEtx || c == record_bytes::kEtb || c == record_bytes::kRs;
}

bool isDigitMode(ValueMode mode) {
    return mode == ValueMode::PackedDigits || mode == ValueMode::ShiftedDigits ||
           mode == ValueMode::Binary || mode == ValueMode::WideBinary;
}

bool hasDigitsBesideBlanks(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return c != ' '; });
}

// A decimal number with an optional sign, blanks anywhere ignored: a negative one down to
// -2147483648 gives its 32-bit two's complement (the form a four-byte value reads as), any other
// one up to 18446744073709551615 its value.
bool parseBinaryText(const std::string& text, std::uint64_t& value) {
    constexpr std::uint64_t kLargest = ~std::uint64_t{0};
    bool negative = false;
    bool signSeen = false;
    bool digitSeen = false;
    std::uint64_t magnitude = 0;
    for (char c : text) {
        if (c == ' ') {
            continue;
        }
        if ((c == '-' || c == '+') && !signSeen && !digitSeen) {
            signSeen = true;
            negative = c == '-';
            continue;
        }
        if (c < '0' || c > '9') {
            return false;
        }
        digitSeen = true;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (magnitude > (kLargest - digit) / 10) {
            return false;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (!digitSeen || (negative && magnitude > 0x80000000ull)) {
        return false;
    }
    value = negative ? static_cast<std::uint32_t>(0 - magnitude) : magnitude;
    return true;
}

bool isBinaryMode(ValueMode mode) {
    return mode == ValueMode::Binary || mode == ValueMode::WideBinary;
}

// Walks the digits of `digits` from its end, two per byte, the later digit in the low nibble;
// blanks are skipped. With `shifted` the first byte holds only the last digit, in the high
// nibble.
void appendPackedDigits(std::string& out, const std::string& digits, bool shifted) {
    std::size_t index = digits.size();
    auto previousDigit = [&](unsigned& digit) {
        while (index > 0) {
            const char c = digits[--index];
            if (c == ' ') {
                continue;
            }
            const int value = hexDigitValue(c);
            digit = value < 0 ? 0 : static_cast<unsigned>(value);
            return true;
        }
        return false;
    };
    unsigned low = 0;
    unsigned high = 0;
    if (shifted && previousDigit(high)) {
        appendCodedByte(out, high * 16);
    }
    while (previousDigit(low)) {
        if (!previousDigit(high)) {
            appendCodedByte(out, low);
            break;
        }
        appendCodedByte(out, high * 16 + low);
    }
}

void appendTextBytes(std::string& out, const std::string& text) {
    for (char c : text) {
        appendCodedByte(out, static_cast<unsigned char>(c));
    }
    appendCodedByte(out, 0);
}

// The digits as collected from the wire (low nibble first, least significant byte first) in
// their reading order, without the extra digit of ShiftedDigits and without leading zeros;
// the binary modes turned into a decimal number. False for a binary value beyond 64 bits.
bool finishDigits(std::string& text, ValueMode mode) {
    std::reverse(text.begin(), text.end());
    if (mode == ValueMode::ShiftedDigits) {
        text.pop_back();
    }
    const std::size_t firstSignificant = text.find_first_not_of('0');
    text.erase(0, std::min(firstSignificant, text.size() - 1));
    if (isBinaryMode(mode)) {
        constexpr std::size_t kDigitsOf32Bits = 8;
        constexpr std::size_t kDigitsOf64Bits = 16;
        if (text.size() > kDigitsOf64Bits) {
            return false;
        }
        std::uint64_t value = 0;
        for (char c : text) {
            value = value * 16 + static_cast<std::uint64_t>(hexDigitValue(c));
        }
        if (mode == ValueMode::Binary && text.size() <= kDigitsOf32Bits) {
            text = std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
        } else {
            text = std::to_string(value);
        }
    }
    return true;
}

// The value of a binary text in upper-case hexadecimal digits; false for an invalid text.
bool binaryHexDigits(const std::string& text, std::string& hex) {
    std::uint64_t value = 0;
    if (!parseBinaryText(text, value)) {
        return false;
    }
    hex.clear();
    do {
        hex.push_back(kHexDigits[value & 0x0F]);
        value >>= 4;
    } while (value != 0);
    std::reverse(hex.begin(), hex.end());
    return true;
}

}  // namespace

void appendValueBytes(std::string& out, const std::string& text, ValueMode mode) {
    switch (mode) {
        case ValueMode::PackedDigits:
        case ValueMode::ShiftedDigits:
            appendPackedDigits(out, text, mode == ValueMode::ShiftedDigits);
            break;
        case ValueMode::Binary:
        case ValueMode::WideBinary: {
            if (!hasDigitsBesideBlanks(text)) {
                break;
            }
            std::string hex;
            if (!binaryHexDigits(text, hex)) {
                hex = "0";
            }
            appendPackedDigits(out, hex, false);
            break;
        }
        case ValueMode::TranslatedText:
            if (!text.empty()) {
                std::string translated = text;
                if (g_charTranslation != nullptr) {
                    g_charTranslation->toScale(translated);
                }
                appendTextBytes(out, translated);
            }
            break;
        case ValueMode::PlainText:
            if (!text.empty()) {
                appendTextBytes(out, text);
            }
            break;
    }
}

std::string encodeValueBytes(std::string text, ValueMode mode) {
    std::string out;
    appendValueBytes(out, text, mode);
    return out;
}

bool decodeValueBytes(const std::string& record, std::size_t& pos, std::size_t length,
                      ValueMode mode, std::string& target) {
    length = std::min(length, record.size());
    const bool digits = isDigitMode(mode);
    std::string text;
    std::size_t p = pos;
    if (p < length && record[p] != record_bytes::kEtb) {
        for (;;) {
            const char c = record[p];
            if (c == record_bytes::kEtx || c == record_bytes::kRs) {
                break;
            }
            unsigned value = 0;
            if (c == record_bytes::kEscape) {
                if (p + 2 >= length || isFraming(record[p + 1]) || isFraming(record[p + 2])) {
                    return false;
                }
                const auto first = static_cast<unsigned char>(record[p + 1]);
                const auto second = static_cast<unsigned char>(record[p + 2]);
                value = ((first - kCodeOffset) * 16 + (second - kCodeOffset)) & 0xFF;
                p += 2;
            } else {
                value = (static_cast<unsigned char>(c) - kCodeOffset) & 0xFF;
            }
            if (digits) {
                text.push_back(kHexDigits[value & 0x0F]);
                text.push_back(kHexDigits[value >> 4]);
            } else if (value == 0) {
                break;  // the terminator: pos stays on it
            } else {
                text.push_back(static_cast<char>(value));
            }
            ++p;
            if (p >= length || record[p] == record_bytes::kEtb) {
                break;
            }
        }
    }
    if (digits) {
        if (text.empty() || !finishDigits(text, mode)) {
            return false;
        }
    } else if (mode == ValueMode::TranslatedText && g_charTranslation != nullptr) {
        g_charTranslation->fromScale(text);
    }
    pos = p;
    target = std::move(text);
    return true;
}

bool isValidValueText(const std::string& text, ValueMode mode) {
    switch (mode) {
        case ValueMode::PackedDigits:
        case ValueMode::ShiftedDigits:
            return std::all_of(text.begin(), text.end(),
                               [](char c) { return c == ' ' || hexDigitValue(c) >= 0; });
        case ValueMode::Binary:
        case ValueMode::WideBinary: {
            std::uint64_t value = 0;
            return !hasDigitsBesideBlanks(text) || parseBinaryText(text, value);
        }
        case ValueMode::TranslatedText:
        case ValueMode::PlainText:
            // A NUL byte would be sent as the text's terminator.
            return text.find('\0') == std::string::npos;
    }
    return false;
}

std::size_t binaryValueSize(const std::string& text) {
    std::string hex;
    if (!hasDigitsBesideBlanks(text) || !binaryHexDigits(text, hex)) {
        return 0;
    }
    return (hex.size() + 1) / 2;
}
