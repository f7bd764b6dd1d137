#include "dictionary/char_translation.h"

#include <fstream>

#include "diag/field_splitter.h"
#include "diag/hex_digit.h"
#include "diag/line_reader.h"
#include "diag/qm_com_exceptions.h"
#include "platform/code_pages.h"
#include "platform/platform.h"

CharTranslation* g_charTranslation = nullptr;

namespace {

constexpr std::string::size_type kMaxLineLength = 199;

// Reads a field as "%X" does (digits in either case, an optional 0x prefix, up to the first
// character that is no hexadecimal digit) and keeps the low 8 bits of the number. The digits
// are folded in here rather than by sscanf so that a number too large for 32 bits gives the
// same byte on every C library. A field that does not begin with a hexadecimal digit is
// rejected.
bool parseHex(const std::string& field, std::uint8_t& value) {
    std::string::size_type pos = 0;
    if (hexDigitValue(field[0]) < 0) {
        return false;
    }
    if (field.size() > 2 && field[0] == '0' && (field[1] == 'x' || field[1] == 'X') &&
        hexDigitValue(field[2]) >= 0) {
        pos = 2;
    }
    unsigned number = 0;
    for (; pos < field.size() && hexDigitValue(field[pos]) >= 0; ++pos) {
        number = (number << 4) | static_cast<unsigned>(hexDigitValue(field[pos]));
    }
    value = static_cast<std::uint8_t>(number & 0xFF);
    return true;
}

}  // namespace

CharTranslation::CharTranslation(const std::string& programDirectory) {
    std::ifstream in(programDirectory + platform::pathSeparator() + "QT_TRANS.DAT",
                     std::ios::binary);
    // A path that opens but cannot be read (a directory, on POSIX) is as unusable as a missing
    // file; an empty file is readable and fails below for lack of lines.
    if (!in || (in.peek(), in.bad())) {
        throw QmComExceptions(Message::TranslationFileMissing);
    }
    LineReader reader(in, kMaxLineLength);
    std::string line;
    for (auto& pair : pairs_) {
        if (reader.next(line) != LineReader::Result::Line || reader.truncated()) {
            throw QmComExceptions(Message::TranslationFileWrong);
        }
        FieldSplitter fields(line, ' ');
        std::string first;
        std::string second;
        if (!fields.next(first) || !fields.next(second) || !parseHex(first, pair.first) ||
            !parseHex(second, pair.second)) {
            throw QmComExceptions(Message::TranslationFileWrong);
        }
    }
}

void CharTranslation::toScale(std::string& text) const {
    platform::ansiToOem(text);
    for (char& c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20) {
            c = static_cast<char>(pairs_[byte - 0x20].first);
        }
    }
}

void CharTranslation::fromScale(std::string& text) const {
    for (char& c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20) {
            c = static_cast<char>(pairs_[byte - 0x20].second);
        }
    }
    platform::oemToAnsi(text);
}
