#include "tables/column_map.h"

#include <algorithm>

#include "dictionary/table_description.h"
#include "tables/csv_files.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The first word of a heading field: leading blanks skipped, up to the next blank.
std::string headingWord(const std::string& field) {
    std::size_t pos = 0;
    while (pos < field.size() && isBlank(field[pos])) {
        ++pos;
    }
    std::string word;
    while (pos < field.size() && !isBlank(field[pos])) {
        word.push_back(field[pos++]);
    }
    return word;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

bool isFieldNumber(const std::string& text) {
    return text.size() == 3 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool ColumnMap::build(const std::string& heading, const TableDescription& description) {
    entries_.clear();
    fields_.clear();
    headings_.clear();
    const std::size_t count =
        std::min<std::size_t>(description.attributeCount, TableDescription::kMaxAttributes);
    std::vector<std::string> columns;
    CsvFields fields(heading);
    std::string field;
    while (fields.next(field)) {
        columns.push_back(field);
    }
    // The heading lines the program writes end with ";"; empty fields at the end are no
    // columns anyone meant.
    while (!columns.empty() && headingWord(columns.back()).empty()) {
        columns.pop_back();
    }
    for (const std::string& column : columns) {
        const std::string word = headingWord(column);
        const std::string sign = word.substr(0, std::min<std::size_t>(word.size(), 4));
        std::int32_t entry = kNoAttribute;
        for (std::size_t i = 0; i < count && !sign.empty(); ++i) {
            if (description.attributes[i].fileSign == sign) {
                entry = static_cast<std::int32_t>(i);
                break;
            }
        }
        for (std::size_t i = 0; i < count && !sign.empty() && entry == kNoAttribute; ++i) {
            if (equalIgnoringCase(description.attributes[i].fileSign, sign)) {
                entry = static_cast<std::int32_t>(i);
            }
        }
        std::int32_t field = kNextField;
        if (entry >= 0) {
            const AttributeDescription& attribute = description.attributes[entry];
            const std::string number = word.substr(sign.size());
            if (attribute.fieldCount >= 2 && isFieldNumber(number)) {
                const int first = attribute.headingsFromZero() ? 0 : 1;
                const int index = std::stoi(number) - first;
                if (index >= 0 && static_cast<std::uint32_t>(index) < attribute.fieldCount) {
                    field = index;
                } else {
                    entry = kNoAttribute;
                }
            }
        }
        entries_.push_back(entry);
        fields_.push_back(field);
        headings_.push_back(column);
    }
    entries_.push_back(kEnd);
    return !headings_.empty();
}

bool ColumnMap::anyAttribute() const {
    return std::any_of(entries_.begin(), entries_.end(), [](std::int32_t e) { return e >= 0; });
}
