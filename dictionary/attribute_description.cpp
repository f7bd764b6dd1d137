#include "dictionary/attribute_description.h"

void AttributeDescription::setSizeCode(std::uint32_t code) {
    byteCount = code & 0xFFF;
    const std::uint32_t size = (code >> 12) & 0xF;
    switch (valueType()) {
        case 4:
            fieldCount = size;
            break;
        case 7:
        case 8:
            fieldCount = 0;
            break;
        case 3:
        case 9:
        case 10:
            // One character, one digit string, one key: a single value whatever the size
            // digit says, so one slot and one CSV column.
            fieldCount = 1;
            break;
        default:
            fieldCount = size != 0 ? byteCount / size : 1;
            break;
    }
}
