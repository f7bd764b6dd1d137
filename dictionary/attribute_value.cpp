#include "dictionary/attribute_value.h"

int AttributeValue::setText(const std::string&) {
    return 1;
}

int AttributeValue::setField(std::uint32_t, const std::string& text) {
    return setText(text);
}

int AttributeValue::writeCsv(std::string&) const {
    return 1;
}

void AttributeValue::clear() {
    fillCount_ = 0;
}

bool AttributeValue::isValidText(const std::string&) const {
    return true;
}
