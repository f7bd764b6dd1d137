#include "diag/message_texts.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "diag/field_splitter.h"
#include "diag/line_reader.h"
#include "diag/qm_com_exceptions.h"
#include "platform/platform.h"

MessageTexts* g_messageTexts = nullptr;

namespace {

// Longest line taken; a longer line ends the reading of the file there.
constexpr std::string::size_type kMaxLineLength = 199;

// Reads a decimal number like strtol: leading white space and a sign are allowed, reading
// stops at the first character that cannot belong to the number. False when there is no
// digit at all.
bool parseNumber(const std::string& field, std::int32_t& number) {
    const char* begin = field.c_str();
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(begin, &end, 10);
    if (end == begin) {
        return false;
    }
    number = static_cast<std::int32_t>(value);
    return true;
}

}  // namespace

MessageTexts::MessageTexts(const std::string& directory) {
    std::ifstream in(directory + platform::pathSeparator() + "Messages.res", std::ios::binary);
    // A path that opens but cannot be read (a directory, on POSIX) is as unusable as a missing
    // file; it must not pass for a file of no texts.
    if (!in || (in.peek(), in.bad())) {
        throw QmComExceptions(std::string("Can't open File Messages.res"));
    }
    LineReader reader(in, kMaxLineLength);
    std::string line;
    while (reader.next(line) == LineReader::Result::Line) {
        if (reader.truncated()) {
            break;
        }
        FieldSplitter fields(line, ';');
        std::string numberField;
        if (!fields.next(numberField)) {
            continue;
        }
        std::string text;
        if (!fields.next(text)) {
            texts_.clear();
            throw QmComExceptions(std::string("Wrong-Format in Messages.res"));
        }
        // A line whose first field holds no number is skipped.
        std::int32_t number = 0;
        if (parseNumber(numberField, number)) {
            texts_.emplace(number, text);  // the first line with a number wins
        }
    }
}

std::string MessageTexts::text(std::int32_t number) const {
    auto found = texts_.find(number);
    return found == texts_.end() ? std::string() : found->second;
}
