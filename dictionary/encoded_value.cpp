#include "dictionary/encoded_value.h"

#include <algorithm>

void EncodedValue::setText(const std::string& text) {
    if (fillCount_ < fieldCount_) {
        slots_[fillCount_++] = text;
    }
}

void EncodedValue::setField(std::uint32_t index, const std::string& text) {
    if (index < fieldCount_) {
        slots_[index] = text;
    }
}

void EncodedValue::writeCsv(std::string& out) const {
    for (std::uint32_t i = 0; i < fieldCount_; ++i) {
        out += slots_[i];
        out.push_back(';');
    }
}

int EncodedValue::decode(const std::string& record, std::size_t& pos, std::size_t length) {
    if (fieldCount_ == 0) {
        return 1;
    }
    if (fieldCount_ == 1) {
        return decodeValueBytes(record, pos, length, mode_, slots_[0]) ? 1 : 0;
    }
    length = std::min(length, record.size());
    int result = 1;
    for (std::uint32_t i = 0; i < fieldCount_; ++i) {
        if (!decodeValueBytes(record, pos, length, mode_, slots_[i])) {
            result = 0;  // this field keeps its text; the fields after it are still read
        }
        // A text leaves the position on its terminator, a failed field where it began: step
        // over what is left of the field so that the RS before the next field is found.
        while (pos < length && record[pos] != record_bytes::kRs &&
               record[pos] != record_bytes::kEtb && record[pos] != record_bytes::kEtx) {
            ++pos;
        }
        if (pos >= length || record[pos] != record_bytes::kRs) {
            return result;
        }
        ++pos;
    }
    return result;
}

void EncodedValue::encode(std::string& out) {
    appendGroupStart(out);
    if (fieldCount_ == 1) {
        appendValueBytes(out, slots_[0], mode_);
    } else {
        for (std::uint32_t i = 0; i < fieldCount_; ++i) {
            appendValueBytes(out, slots_[i], mode_);
            out.push_back(record_bytes::kRs);
        }
    }
    out.push_back(record_bytes::kEtb);
}

bool EncodedValue::isValidText(const std::string& text) const {
    if (!isValidValueText(text, mode_)) {
        return false;
    }
    // The scale keeps a binary number in fieldWidth bytes: a larger one would not come back.
    if ((mode_ == ValueMode::Binary || mode_ == ValueMode::WideBinary) && fieldWidth_ > 0) {
        return binaryValueSize(text) <= fieldWidth_;
    }
    return true;
}
