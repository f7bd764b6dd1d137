#include "dictionary/record_layout.h"

#include "dictionary/char_value.h"
#include "dictionary/digit_string_value.h"
#include "dictionary/encoded_value.h"
#include "dictionary/text_lines_value.h"

bool RecordLayout::store(std::size_t i, std::unique_ptr<AttributeValue> value) {
    values_[i] = std::move(value);
    return true;
}

bool RecordLayout::addKey(std::size_t i, std::uint8_t busSign, std::int32_t& key,
                          KeyValue::Mode mode) {
    return i < values_.size() && store(i, std::make_unique<KeyValue>(busSign, key, mode));
}

bool RecordLayout::addEncoded(std::size_t i, std::uint8_t busSign, const std::string& fileSign,
                              std::string* firstSlot, std::uint32_t fieldCount, ValueMode mode,
                              std::uint32_t fieldWidth) {
    return i < values_.size() &&
           store(i, std::make_unique<EncodedValue>(busSign, fileSign, firstSlot, fieldCount, mode,
                                                   fieldWidth));
}

bool RecordLayout::addChar(std::size_t i, std::uint8_t busSign, std::string* slot) {
    return i < values_.size() && store(i, std::make_unique<CharValue>(busSign, slot));
}

bool RecordLayout::addTextLines(std::size_t i, std::uint8_t busSign, std::string* firstSlot,
                                std::uint32_t lineCount) {
    return i < values_.size() &&
           store(i, std::make_unique<TextLinesValue>(busSign, firstSlot, lineCount));
}

bool RecordLayout::addDigitString(std::size_t i, std::uint8_t busSign, const std::string& fileSign,
                                  std::string* slot, std::uint32_t width) {
    return i < values_.size() &&
           store(i, std::make_unique<DigitStringValue>(busSign, fileSign, slot, width));
}

AttributeValue* RecordLayout::findByBusSign(std::uint8_t sign) const {
    for (const auto& value : values_) {
        if (value && value->busSign() == sign) {
            return value.get();
        }
    }
    return nullptr;
}

void RecordLayout::decodeRecord(const std::string& record) {
    const std::size_t length = record.size();
    std::size_t pos = 0;
    lastDecodeComplete_ = true;
    if (length == 0 || record[0] == record_bytes::kEtx) {
        return;
    }
    for (;;) {
        while (pos < length && record[pos] != record_bytes::kEtb) {
            if (record[pos] == record_bytes::kEtx) {
                return;
            }
            ++pos;
        }
        if (pos >= length) {
            return;
        }
        ++pos;  // over the ETB
        if (pos >= length) {
            return;
        }
        AttributeValue* value = findByBusSign(static_cast<std::uint8_t>(record[pos]));
        if (value != nullptr) {
            ++pos;
            if (value->decode(record, pos, length) == 0) {
                lastDecodeComplete_ = false;
            }
        }
        if (pos >= length || record[pos] == record_bytes::kEtx) {
            return;
        }
    }
}

void RecordLayout::encodeRecord(std::string& out) {
    for (const auto& value : values_) {
        if (value) {
            value->encode(out);
        }
    }
}

void RecordLayout::clearValues() {
    for (const auto& value : values_) {
        if (value) {
            value->clear();
        }
    }
}
