#include "tables/column_map.h"

#include "diag/field_splitter.h"
#include "dictionary/table_description.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The first word of a heading field, at most four characters, as a "%4s" scan takes it.
std::string headingWord(const std::string& field) {
    std::size_t pos = 0;
    while (pos < field.size() && isBlank(field[pos])) {
        ++pos;
    }
    std::string word;
    while (pos < field.size() && !isBlank(field[pos]) && word.size() < 4) {
        word.push_back(field[pos++]);
    }
    return word;
}

}  // namespace

bool ColumnMap::build(const std::string& heading, const TableDescription& description) {
    entries_.clear();
    headings_.clear();
    const std::size_t count =
        std::min<std::size_t>(description.attributeCount, TableDescription::kMaxAttributes);
    FieldSplitter splitter(heading, ';');
    std::string field;
    while (splitter.next(field)) {
        const std::string word = headingWord(field);
        std::int32_t entry = kNoAttribute;
        for (std::size_t i = 0; i < count; ++i) {
            if (description.attributes[i].fileSign == word) {
                entry = static_cast<std::int32_t>(i);
                break;
            }
        }
        entries_.push_back(entry);
        headings_.push_back(field);
    }
    entries_.push_back(kEnd);
    return !headings_.empty();
}
