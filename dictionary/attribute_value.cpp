#include "dictionary/attribute_value.h"

int AttributeValue::setText(const std::string&) {
    return 1;
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
