#include "dictionary/attribute_description.h"

void AttributeDescription::setSizeCode(std::uint32_t code) {
    byteCount = code & 0xFFF;
    const std::uint32_t size = (code >> 12) & 0xF;
    switch (valueType()) {
        case ValueType::TextLines:
            fieldCount = size;
            break;
        case ValueType::DigitsKey:
        case ValueType::BinaryKey:
            fieldCount = 0;
            break;
        case ValueType::Character:
        case ValueType::DigitString:
        case ValueType::FourDigitKey:
            // One character, one digit string, one key: a single value whatever the size
            // digit says, so one slot and one CSV column.
            fieldCount = 1;
            break;
        default:
            fieldCount = size != 0 ? byteCount / size : 1;
            break;
    }
}
