#include "dictionary/attribute_value.h"

void AttributeValue::setText(const std::string&) {}

void AttributeValue::setField(std::uint32_t, const std::string& text) {
    setText(text);
}

void AttributeValue::writeCsv(std::string&) const {}

void AttributeValue::clear() {
    fillCount_ = 0;
}

bool AttributeValue::isValidText(const std::string&) const {
    return true;
}
