#include "dictionary/digit_string_value.h"

#include <algorithm>

#include "dictionary/value_codec.h"

void DigitStringValue::setText(const std::string& text) {
    *slot_ = text;
}

void DigitStringValue::writeCsv(std::string& out) const {
    out += *slot_;
    out.push_back(';');
}

int DigitStringValue::decode(const std::string& record, std::size_t& pos, std::size_t length) {
    length = std::min(length, record.size());
    std::string text;
    while (pos < length && record[pos] != record_bytes::kEtb && record[pos] != record_bytes::kEtx) {
        if (!text.empty() || record[pos] != '0') {
            text.push_back(record[pos]);
        }
        ++pos;
    }
    *slot_ = text.empty() ? std::string("0") : std::move(text);
    return 1;
}

void DigitStringValue::encode(std::string& out) {
    slot_->erase(std::remove(slot_->begin(), slot_->end(), ' '), slot_->end());
    appendGroupStart(out);
    if (slot_->size() < width_) {
        out.append(width_ - slot_->size(), '0');
    }
    out += *slot_;
    out.push_back(record_bytes::kEtb);
}

// Blanks are removed before sending; what is left must be decimal digits that fit the width
// (a longer text would reach the scale whole, a sign or a decimal point as it stands).
bool DigitStringValue::isValidText(const std::string& text) const {
    std::size_t digits = 0;
    for (const char c : text) {
        if (c == ' ') {
            continue;
        }
        if (c < '0' || c > '9') {
            return false;
        }
        ++digits;
    }
    return width_ == 0 || digits <= width_;
}
