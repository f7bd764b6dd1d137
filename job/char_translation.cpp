#include "job/char_translation.h"

#include <cctype>
#include <cstdio>
#include <fstream>

#include "diag/field_splitter.h"
#include "diag/line_reader.h"
#include "diag/qm_com_exceptions.h"
#include "platform/code_pages.h"
#include "platform/platform.h"

CharTranslation* g_charTranslation = nullptr;

namespace {

constexpr std::string::size_type kMaxLineLength = 199;

// "%X" of a field; a field that does not begin with a hexadecimal digit is rejected.
bool parseHex(const std::string& field, std::uint8_t& value) {
    if (!std::isxdigit(static_cast<unsigned char>(field[0]))) {
        return false;
    }
    unsigned number = 0;
    if (std::sscanf(field.c_str(), "%X", &number) != 1) {
        return false;
    }
    value = static_cast<std::uint8_t>(number & 0xFF);
    return true;
}

}  // namespace

CharTranslation::CharTranslation(const std::string& programDirectory) {
    std::ifstream in(programDirectory + platform::pathSeparator() + "QT_TRANS.DAT",
                     std::ios::binary);
    if (!in) {
        throw QmComExceptions(7);
    }
    LineReader reader(in);
    std::string line;
    for (auto& pair : pairs_) {
        if (reader.next(line) != LineReader::Result::Line || line.size() > kMaxLineLength) {
            throw QmComExceptions(8);
        }
        FieldSplitter fields(line, ' ');
        std::string first;
        std::string second;
        if (!fields.next(first) || !fields.next(second) || !parseHex(first, pair.first) ||
            !parseHex(second, pair.second)) {
            throw QmComExceptions(8);
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
