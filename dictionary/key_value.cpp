#include "dictionary/key_value.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "dictionary/value_codec.h"

namespace {

// C atoi, with a number beyond the key's range clamped to it (so both targets agree).
std::int32_t keyFromText(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<std::int32_t>(std::clamp<long long>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::string keyText(std::int32_t key, const char* format) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, static_cast<int>(key));
    return buffer;
}

}  // namespace

void KeyValue::setText(const std::string& text) {
    key_ = keyFromText(text);
}

void KeyValue::writeCsv(std::string& out) const {
    out += keyText(key_, "%d");
    out.push_back(';');
}

int KeyValue::decode(const std::string& record, std::size_t& pos, std::size_t length) {
    std::string text;
    switch (mode_) {
        case Mode::PackedDigits:
        case Mode::Binary:
            if (!decodeValueBytes(
                    record, pos, length,
                    mode_ == Mode::Binary ? ValueMode::Binary : ValueMode::PackedDigits, text)) {
                return 0;
            }
            break;
        case Mode::FourDigits: {
            const std::size_t end = std::min({pos + 4, length, record.size()});
            if (pos < end) {
                text.assign(record, pos, end - pos);
                pos = end;
            }
            break;
        }
    }
    key_ = keyFromText(text);
    return 1;
}

void KeyValue::encode(std::string& out) {
    appendGroupStart(out);
    switch (mode_) {
        case Mode::PackedDigits:
            appendValueBytes(out, keyText(key_, "%d"), ValueMode::PackedDigits);
            break;
        case Mode::Binary:
            appendValueBytes(out, keyText(key_, "%d"), ValueMode::Binary);
            break;
        case Mode::FourDigits:
            out += keyText(key_, "%04d");
            break;
    }
    out.push_back(record_bytes::kEtb);
}

bool KeyValue::isValidText(const std::string& text) const {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return true;
    }
    const std::size_t last = text.find_last_not_of(' ');
    std::size_t digitsStart = first;
    if (text[first] == '-' || text[first] == '+') {
        // Digit codings have no sign: "-5" would reach the scale as key 5.
        if (text[first] == '-' && mode_ != Mode::Binary) {
            return false;
        }
        ++digitsStart;
    }
    if (digitsStart > last || digitsStart - first > 1 || last - digitsStart >= 10) {
        return false;
    }
    for (std::size_t i = digitsStart; i <= last; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    const long long value = std::strtoll(text.c_str() + first, nullptr, 10);
    return value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}
