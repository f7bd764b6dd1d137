#include "dictionary/table.h"

#include <algorithm>
#include <utility>

namespace {

std::size_t usableAttributeCount(const TableDescription& description) {
    return std::min<std::size_t>(description.attributeCount, TableDescription::kMaxAttributes);
}

// Length prefix of a packed slot: seven bits per byte, low bits first, the top bit set on
// every byte but the last.
void appendLength(std::string& out, std::size_t length) {
    while (length >= 0x80) {
        out.push_back(static_cast<char>((length & 0x7F) | 0x80));
        length >>= 7;
    }
    out.push_back(static_cast<char>(length));
}

}  // namespace

Table::Table(TableDescription description)
    : description_(std::move(description)), layout_(usableAttributeCount(description_)) {
    articleTable_ = description_.tableType == TableType::Article;
    isTdes_ = description_.fileSign == "TDES";
    isAdes_ = description_.fileSign == "ADES";
    rangeLow_ = description_.minIndex;
    rangeHigh_ = description_.maxIndex;

    const std::size_t count = layout_.count();
    std::uint64_t total = 0;
    std::size_t i = 0;
    for (; i < count; ++i) {
        const AttributeDescription& attribute = description_.attributes[i];
        const auto first = static_cast<std::size_t>(total);
        total += attribute.fieldCount;
        if (attribute.neverSentToScale()) {
            sendBlocked_ = true;
        }
        if (total >= kSlotCount || !createValue(i, attribute, first)) {
            usedSlots_ = first;
            break;
        }
        if (keyAttribute_ < 0 && isKeyType(attribute.valueType())) {
            keyAttribute_ = static_cast<std::int32_t>(i);
        }
        usedSlots_ = static_cast<std::size_t>(total);
    }
    layoutComplete_ = i == count;
    selected_ = layoutComplete_;
}

bool Table::createValue(std::size_t index, const AttributeDescription& attribute,
                        std::size_t first) {
    const std::uint8_t sign = attribute.busSign;
    const std::string& code = attribute.fileSign;
    std::string* slot = &slots_[first];
    switch (attribute.valueType()) {
        case ValueType::Digits:
            return layout_.addEncoded(index, sign, code, slot, attribute.fieldCount,
                                      ValueMode::PackedDigits);
        case ValueType::Number: {
            if (!attribute.sentAsBinary()) {
                return layout_.addEncoded(index, sign, code, slot, attribute.fieldCount,
                                          ValueMode::PackedDigits);
            }
            // A binary number of five bytes or more is unsigned; one of up to four bytes reads
            // as a signed 32-bit number, as it always has.
            const std::uint32_t width = attribute.fieldCount > 1
                                            ? attribute.byteCount / attribute.fieldCount
                                            : attribute.byteCount;
            constexpr std::uint32_t kWidestNarrowBinary = 4;
            return layout_.addEncoded(
                index, sign, code, slot, attribute.fieldCount,
                width > kWidestNarrowBinary ? ValueMode::WideBinary : ValueMode::Binary, width);
        }
        case ValueType::ShiftedDigits:
            return layout_.addEncoded(index, sign, code, slot, attribute.fieldCount,
                                      ValueMode::ShiftedDigits);
        case ValueType::Character:
            return layout_.addChar(index, sign, slot);
        case ValueType::TextLines:
            return layout_.addTextLines(index, sign, slot, attribute.fieldCount);
        case ValueType::PlainText:
            return layout_.addEncoded(index, sign, code, slot, attribute.fieldCount,
                                      ValueMode::PlainText);
        case ValueType::TranslatedText:
            return layout_.addEncoded(index, sign, code, slot, attribute.fieldCount,
                                      ValueMode::TranslatedText);
        case ValueType::DigitsKey:
            return layout_.addKey(index, sign, key_, KeyValue::Mode::PackedDigits);
        case ValueType::BinaryKey:
            return layout_.addKey(index, sign, key_, KeyValue::Mode::Binary);
        case ValueType::DigitString:
            return layout_.addDigitString(index, sign, code, slot, attribute.byteCount);
        case ValueType::FourDigitKey:
            return layout_.addKey(index, sign, key_, KeyValue::Mode::FourDigits);
        default:
            return false;
    }
}

void Table::select() {
    if (layoutComplete_) {
        selected_ = true;
    }
}

bool Table::setRange(std::uint32_t a, std::uint32_t b) {
    if (a > b) {
        std::swap(a, b);
    }
    if (a > description_.maxIndex || b < description_.minIndex) {
        // No key of the table lies in the range: rangeHigh below rangeLow, nothing is sent.
        rangeLow_ = std::max<std::uint32_t>(description_.minIndex, 1);
        rangeHigh_ = rangeLow_ - 1;
        return false;
    }
    const auto inIndexRange = [this](std::uint32_t k) {
        return k >= description_.minIndex && k <= description_.maxIndex;
    };
    rangeLow_ = inIndexRange(a) ? a : description_.minIndex;
    rangeHigh_ = inIndexRange(b) ? b : description_.maxIndex;
    return true;
}

bool Table::findAttribute(const std::string& code, std::size_t& firstSlot,
                          std::uint32_t& fieldCount) const {
    std::size_t sum = 0;
    const std::size_t count = usableAttributeCount(description_);
    for (std::size_t i = 0; i < count; ++i) {
        const AttributeDescription& attribute = description_.attributes[i];
        if (attribute.fileSign == code) {
            firstSlot = sum;
            fieldCount = attribute.fieldCount;
            return true;
        }
        sum += attribute.fieldCount;
    }
    fieldCount = 0;
    return false;
}

void Table::clearRecord() {
    key_ = 0;
    for (std::size_t i = 0; i < usedSlots_; ++i) {
        slots_[i].clear();
    }
}

void Table::packRecord(std::string& out) const {
    for (std::size_t i = 0; i < usedSlots_; ++i) {
        appendLength(out, slots_[i].size());
        out += slots_[i];
    }
}

std::string Table::packRecord() const {
    std::string out;
    packRecord(out);
    return out;
}

bool Table::unpackRecord(const std::string& packed) {
    // Checked whole before any slot changes.
    std::size_t pos = 0;
    std::size_t start = 0;
    std::size_t length = 0;
    for (std::size_t i = 0; i < usedSlots_; ++i) {
        if (!readPackedSlot(packed, pos, start, length)) {
            return false;
        }
    }
    if (pos != packed.size()) {
        return false;
    }
    pos = 0;
    for (std::size_t i = 0; i < usedSlots_; ++i) {
        readPackedSlot(packed, pos, start, length);
        slots_[i].assign(packed, start, length);
    }
    return true;
}

bool Table::readPackedSlot(const std::string& packed, std::size_t& pos, std::size_t& start,
                           std::size_t& length) {
    length = 0;
    for (unsigned shift = 0;; shift += 7) {
        if (pos >= packed.size() || shift >= 32) {
            return false;
        }
        const auto byte = static_cast<unsigned char>(packed[pos++]);
        length |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            break;
        }
    }
    if (length > packed.size() - pos) {
        return false;
    }
    start = pos;
    pos += length;
    return true;
}

// ---- What a bare table does for the record transfer ----

void Table::startSending(int) {}

SendResult Table::storeReceived(std::string&, int, const std::string&) {
    return SendResult::Only;
}

SendResult Table::nextToSend(std::string&, int, std::string&) {
    return SendResult::Nothing;
}

void Table::prepareReceive(int) {}

void Table::clearRecords() {}
