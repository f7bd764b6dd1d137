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
        default:
            fieldCount = size != 0 ? byteCount / size : 1;
            break;
    }
}
