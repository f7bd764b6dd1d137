// The CSV side of Table and RecordLayout: file names, the two heading lines, data lines.
#include "tables/csv_table.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "diag/job_log.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "tables/column_map.h"
#include "tables/csv_files.h"

namespace {

const std::string kUtf8Mark = "\xEF\xBB\xBF";

bool isBlankLine(const std::string& line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

bool isAscii(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// Field `column` of a line (from 0); empty beyond the line's last field.
std::string fieldOf(const std::string& line, std::size_t column) {
    CsvFields fields(line);
    std::string field;
    for (std::size_t c = 0; c <= column; ++c) {
        if (!fields.next(field)) {
            return {};
        }
    }
    return field;
}

std::string numberedHeading(const std::string& sign, std::uint32_t number) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%03u", static_cast<unsigned>(number % 1000));
    return sign + buffer;
}

}  // namespace

// ---- RecordLayout ----

void writeCsvRecord(const RecordLayout& layout, std::string& out) {
    const std::size_t start = out.size();
    for (std::size_t i = 0; i < layout.count(); ++i) {
        if (const AttributeValue* value = layout.valueAt(i)) {
            value->writeCsv(out);
        }
    }
    // The last ";" becomes the line end.
    if (out.size() > start && out.back() == ';') {
        out.pop_back();
    }
    out += "\r\n";
}

// Every column of the map gets a text: the line's field, or the empty text for a column the
// line does not reach (a line cut short is read as if it ended in empty fields).
void readCsvRecord(RecordLayout& layout, const std::string& line, const ColumnMap& map) {
    CsvFields fields(line);
    std::string field;
    for (std::size_t column = 0;; ++column) {
        const std::int32_t entry = map.at(column);
        if (entry == ColumnMap::kEnd) {
            break;
        }
        if (!fields.next(field)) {
            field.clear();
        }
        if (entry < 0) {
            continue;
        }
        AttributeValue* value = layout.valueAt(static_cast<std::size_t>(entry));
        if (value == nullptr) {
            continue;
        }
        const std::int32_t index = map.field(column);
        if (index >= 0) {
            value->setField(static_cast<std::uint32_t>(index), field);
        } else {
            value->setText(field);
        }
    }
}

// ---- CsvTable: names and heading lines ----

std::string CsvTable::csvFileName(const std::string& directory, int scaleNumber) const {
    if (!isConfigurationTable()) {
        return directory + description().fileSign + ".csv";
    }
    char number[16];
    std::snprintf(number, sizeof number, "%02d", scaleNumber);
    return directory + description().fileSign + number + ".csv";
}

std::string CsvTable::headingLine() const {
    std::string line;
    for (std::size_t i = 0; i < layout().count(); ++i) {
        const AttributeDescription& attribute = description().attributes[i];
        if (attribute.fieldCount < 2) {
            line += attribute.fileSign;
            line.push_back(';');
            continue;
        }
        const std::uint32_t first = attribute.headingsFromZero() ? 0 : 1;
        for (std::uint32_t n = 0; n < attribute.fieldCount; ++n) {
            line += numberedHeading(attribute.fileSign, first + n);
            line.push_back(';');
        }
    }
    return line + "\r\n";
}

std::string CsvTable::nameLine() const {
    std::string line;
    for (std::size_t i = 0; i < layout().count(); ++i) {
        const AttributeDescription& attribute = description().attributes[i];
        const std::uint32_t times = attribute.fieldCount == 0 ? 1 : attribute.fieldCount;
        for (std::uint32_t n = 0; n < times; ++n) {
            line += attribute.name;
            line.push_back(';');
        }
    }
    return line + "\r\n";
}

std::size_t CsvTable::csvColumnCount() const {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < layout().count() && layout().valueAt(i) != nullptr; ++i) {
        const AttributeDescription& attribute = description().attributes[i];
        switch (attribute.valueType()) {
            case ValueType::Character:
            case ValueType::DigitsKey:
            case ValueType::BinaryKey:
            case ValueType::DigitString:
            case ValueType::FourDigitKey:
                columns += 1;  // one column whatever the field count
                break;
            default:
                columns += attribute.fieldCount;
        }
    }
    return columns;
}

std::string CsvTable::columnHeading(std::size_t slot) const {
    std::size_t first = 0;
    for (std::size_t i = 0; i < layout().count(); ++i) {
        const AttributeDescription& attribute = description().attributes[i];
        if (slot < first + attribute.fieldCount) {
            if (attribute.fieldCount < 2) {
                return attribute.fileSign;
            }
            const std::uint32_t base = attribute.headingsFromZero() ? 0 : 1;
            return numberedHeading(attribute.fileSign,
                                   base + static_cast<std::uint32_t>(slot - first));
        }
        first += attribute.fieldCount;
    }
    return {};
}

// ---- CsvTable: files ----

bool CsvTable::openCsvForWrite(CsvOutputFile& out, const std::string& directory, int scaleNumber) {
    if (!out.open(csvFileName(directory, scaleNumber))) {
        return false;
    }
    out.write(headingLine());
    out.write(nameLine());
    return true;
}

int CsvTable::openCsvForRead(CsvInputFile& in, ColumnMap& map, const std::string& directory,
                             int scaleNumber) {
    const std::string path = csvFileName(directory, scaleNumber);
    fileHasNoAttribute_ = false;
    std::string reason;
    switch (platform::readAccess(path, reason)) {
        case platform::FileAccess::Missing:
            return 0;
        case platform::FileAccess::Unreadable:
            noteUnreadable(path, reason);
            return -1;
        case platform::FileAccess::Readable:
            break;
    }
    if (!in.open(path)) {
        noteUnreadable(path, "it cannot be opened");
        return -1;
    }
    std::string heading;
    if (!in.nextLine(heading)) {
        if (in.readFailed()) {
            noteUnreadable(path, "read error");
            return -1;
        }
        return 0;
    }
    if (heading.compare(0, kUtf8Mark.size(), kUtf8Mark) == 0) {
        in.utf8 = true;
        heading.erase(0, kUtf8Mark.size());
    }
    if (in.utf8) {
        std::string converted;
        if (platform::utf8ToWindows1252(heading, converted)) {
            heading.swap(converted);
        }
    }
    if (!map.build(heading, description())) {
        return 0;
    }
    logUnknownColumns(path, map);
    std::string names;
    in.nextLine(names);
    checkNameLine(path, names, map);
    return 1;
}

// Once per file: a column whose heading names no attribute (its fields are ignored).
void CsvTable::logUnknownColumns(const std::string& path, const ColumnMap& map) const {
    if (g_log == nullptr) {
        return;
    }
    for (std::size_t column = 0; column < map.size(); ++column) {
        if (map.at(column) == ColumnMap::kNoAttribute) {
            g_log->add(path + ": column " + std::to_string(column + 1) + " \"" +
                       map.heading(column) + "\" names no attribute of table " +
                       description().fileSign + ": its fields are ignored");
        }
    }
}

// Line 2 is the name line. When its key field holds a key the table can have, the file lacks
// its name line and its first record would be skipped.
void CsvTable::checkNameLine(const std::string& path, const std::string& names,
                             const ColumnMap& map) {
    const std::int32_t keyColumn = lastColumnOf(map, keyAttribute());
    if (keyColumn < 0) {
        return;
    }
    const std::string text = fieldOf(names, static_cast<std::size_t>(keyColumn));
    const std::size_t first = text.find_first_not_of(' ');
    const std::size_t last = text.find_last_not_of(' ');
    if (first == std::string::npos || last - first >= 10) {
        return;
    }
    for (std::size_t i = first; i <= last; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return;
        }
    }
    const long long number = std::strtoll(text.c_str() + first, nullptr, 10);
    if (number >= 1 && number <= static_cast<long long>(description().maxIndex)) {
        noteFileProblem(path + ", line 2: holds the key " + text.substr(first, last - first + 1) +
                            ": line 2 must be the name line (the columns' names), the records "
                            "start on line 3",
                        40);
    }
}

void CsvTable::noteUnreadable(const std::string& path, const std::string& reason) {
    noteFileProblem(path + ": the file cannot be read (" + reason + ")", 43);
}

void CsvTable::noteFileProblem(const std::string& text, std::int32_t message) {
    InvalidValue problem;
    problem.table = description().fileSign;
    problem.problem = text;
    problem.message = message;
    fileProblems_.push_back(std::move(problem));
}

bool CsvTable::readCsvLine(CsvInputFile& in, const ColumnMap& map) {
    // Reused between calls: lines of wide tables are long.
    static thread_local std::string line;
    do {
        if (!in.nextLine(line)) {
            if (in.readFailed()) {
                noteUnreadable(in.path(),
                               "read error after line " + std::to_string(in.lineNumber()));
            }
            return false;
        }
    } while (isBlankLine(line));

    // No text comes from another line: every slot starts empty (the key stays, so that a file
    // without key column numbers its lines on).
    for (std::size_t s = 0; s < usedSlotCount(); ++s) {
        slot(s).clear();
    }
    layout().clearValues();
    if (!map.anyAttribute() && !fileHasNoAttribute_) {
        fileHasNoAttribute_ = true;
        noteFileProblem(in.path() + ", line " + std::to_string(in.lineNumber()) +
                            ": no column of the heading names an attribute of table " +
                            description().fileSign,
                        40);
    }
    if (!in.utf8 || isAscii(line)) {
        readCsvRecord(layout(), line, map);
        takeKeyField(line, map);
        return true;
    }
    // A UTF-8 file: convert field by field, so that a text without a Windows-1252 form can be
    // named by its column. Such a text is kept as the file held it and noted; it is never
    // replaced by a look-alike.
    std::string converted;
    std::string field;
    std::string field1252;
    std::vector<std::size_t> failedColumns;
    std::vector<std::string> failedTexts;
    CsvFields fields(line);
    for (std::size_t column = 0; fields.next(field); ++column) {
        if (column > 0) {
            converted.push_back(';');
        }
        if (isAscii(field)) {
            converted += field;
        } else if (platform::utf8ToWindows1252(field, field1252)) {
            converted += field1252;
        } else {
            converted += field;
            failedColumns.push_back(column);
            failedTexts.push_back(field);
        }
    }
    readCsvRecord(layout(), converted, map);
    takeKeyField(converted, map);
    for (std::size_t i = 0; i < failedColumns.size(); ++i) {
        if (map.at(failedColumns[i]) < 0) {
            continue;  // a column no attribute takes
        }
        InvalidValue invalid;
        invalid.table = description().fileSign;
        invalid.key = key();
        invalid.column = map.heading(failedColumns[i]);
        invalid.text = failedTexts[i];
        unconvertible_.push_back(std::move(invalid));
    }
    return true;
}

// The key value takes the last column headed with the key's file sign, as readCsvRecord hands
// the fields out: that field is the line's key text.
void CsvTable::takeKeyField(const std::string& line, const ColumnMap& map) {
    lineHadKey_ = false;
    const std::int32_t keyColumn = lastColumnOf(map, keyAttribute());
    if (keyColumn < 0) {
        return;
    }
    // A line that ends before the key column has an empty key field.
    lineHadKey_ = true;
    lineKeyText_ = fieldOf(line, static_cast<std::size_t>(keyColumn));
    lineKeyHeading_ = map.heading(static_cast<std::size_t>(keyColumn));
}

// The last column of `attribute`, -1 without one: of several, the last one's field is what the
// value keeps.
std::int32_t CsvTable::lastColumnOf(const ColumnMap& map, std::int32_t attribute) {
    std::int32_t found = -1;
    if (attribute < 0) {
        return found;
    }
    for (std::size_t column = 0; map.at(column) != ColumnMap::kEnd; ++column) {
        if (map.at(column) == attribute) {
            found = static_cast<std::int32_t>(column);
        }
    }
    return found;
}

bool CsvTable::noteImportedKey(std::uint32_t highestKey) {
    if (!lineHadKey_) {
        return true;
    }
    const AttributeValue* value = layout().valueAt(static_cast<std::size_t>(keyAttribute()));
    bool valid = value != nullptr && value->isValidText(lineKeyText_);
    if (valid) {
        // isValidText admits blanks around at most ten digits: the number fits 64 bits. A
        // blank field would be key 0.
        const long long number = std::strtoll(lineKeyText_.c_str(), nullptr, 10);
        valid = number >= 1 && number <= static_cast<long long>(highestKey);
    }
    if (valid) {
        return true;
    }
    InvalidValue invalid;
    invalid.table = description().fileSign;
    invalid.key = key();
    invalid.column = lineKeyHeading_;
    invalid.text = lineKeyText_;
    invalid.badKey = true;
    invalidKeys_.push_back(std::move(invalid));
    return false;
}

void CsvTable::clearImportProblems() {
    unconvertible_.clear();
    invalidKeys_.clear();
    fileProblems_.clear();
    fileHasNoAttribute_ = false;
    keepFiles_ = false;
}

void CsvTable::writeCsvLine(CsvOutputFile& out) {
    static thread_local std::string line;
    line.clear();
    writeCsvRecord(layout(), line);
    if (!isPlainCsvLine(line)) {
        wroteUnreadableLine_ = true;
        logUnwritableValues();
    }
    out.write(line);
}

void CsvTable::writeCsvLine(CsvOutputFile& out, const std::string& packed, std::int32_t key) {
    static thread_local std::string line;
    line.clear();
    if (!appendPackedCsvLine(packed, key, line)) {
        unpackRecord(packed);
        setKey(key);
        writeCsvLine(out);
        return;
    }
    if (!isPlainCsvLine(line)) {
        wroteUnreadableLine_ = true;
        unpackRecord(packed);
        setKey(key);
        logUnwritableValues();
    }
    out.write(line);
}

// Every value writes its slot texts, or the key, each followed by ";": a packed record (the
// slots in order, each its length and bytes) gives the line without filling the slots. False
// when the packed record does not fit the layout or a value's columns are not simply its
// slots (an incomplete layout, a one-slot value without a slot of its own); the caller then
// goes through the value objects.
bool CsvTable::appendPackedCsvLine(const std::string& packed, std::int32_t key,
                                   std::string& line) const {
    if (!isLayoutComplete()) {
        return false;
    }
    std::size_t pos = 0;
    std::size_t start = 0;
    std::size_t length = 0;
    for (std::size_t i = 0; i < layout().count(); ++i) {
        const AttributeDescription& attribute = description().attributes[i];
        switch (attribute.valueType()) {
            case ValueType::DigitsKey:
            case ValueType::BinaryKey:
            case ValueType::FourDigitKey:
                line += std::to_string(key);
                line.push_back(';');
                for (std::uint32_t n = 0; n < attribute.fieldCount; ++n) {
                    if (!readPackedSlot(packed, pos, start, length)) {
                        return false;
                    }
                }
                break;
            case ValueType::Character:
            case ValueType::DigitString:
                if (attribute.fieldCount == 0) {
                    return false;
                }
                for (std::uint32_t n = 0; n < attribute.fieldCount; ++n) {
                    if (!readPackedSlot(packed, pos, start, length)) {
                        return false;
                    }
                    if (n == 0) {
                        line.append(packed, start, length);
                        line.push_back(';');
                    }
                }
                break;
            default:
                for (std::uint32_t n = 0; n < attribute.fieldCount; ++n) {
                    if (!readPackedSlot(packed, pos, start, length)) {
                        return false;
                    }
                    line.append(packed, start, length);
                    line.push_back(';');
                }
        }
    }
    if (pos != packed.size()) {
        return false;
    }
    if (!line.empty() && line.back() == ';') {
        line.pop_back();
    }
    line += "\r\n";
    return true;
}

// A ";", CR or LF inside a value splits the line when it is read back. Checked on the whole
// line: one separator fewer than columns and no line end before the last.
bool CsvTable::isPlainCsvLine(const std::string& line) const {
    if (line.size() < 2) {
        return false;
    }
    const auto body = line.end() - 2;
    const auto separators = static_cast<std::size_t>(std::count(line.begin(), body, ';'));
    const bool lineEnds =
        std::find_if(line.begin(), body, [](char c) { return c == '\r' || c == '\n'; }) != body;
    return separators + 1 == csvColumnCount() && !lineEnds;
}

// Such a value is written as it is; the log names the table, the key and the column.
void CsvTable::logUnwritableValues() const {
    if (g_log == nullptr) {
        return;
    }
    for (std::size_t s = 0; s < usedSlotCount(); ++s) {
        const std::string& text = slot(s);
        if (std::any_of(text.begin(), text.end(),
                        [](char c) { return c == ';' || c == '\r' || c == '\n'; })) {
            g_log->add(description().fileSign + ": key " + std::to_string(key()) + ", column " +
                       columnHeading(s) +
                       ": the value holds \";\", CR or LF and cannot be read back as written");
        }
    }
}

int CsvTable::csvFileNumber(int) const {
    return 0;
}

bool CsvTable::writeEmptyCsv(const std::string& directory, int scaleNumber) {
    CsvOutputFile out;
    openCsvForWrite(out, directory, scaleNumber);
    return out.commit();
}

// ---- CsvTable: what a table without records does ----

bool CsvTable::exportCsv(const std::string&) {
    return true;
}

void CsvTable::importCsv(const std::string&) {}

void CsvTable::findInvalidValues(std::vector<InvalidValue>& out) {
    out.insert(out.end(), unconvertible_.begin(), unconvertible_.end());
    out.insert(out.end(), invalidKeys_.begin(), invalidKeys_.end());
    out.insert(out.end(), fileProblems_.begin(), fileProblems_.end());
}

void CsvTable::collectInvalidTexts(std::int32_t key, std::vector<InvalidValue>& out) const {
    std::size_t first = 0;
    for (std::size_t i = 0; i < layout().count(); ++i) {
        const AttributeDescription& attribute = description().attributes[i];
        const AttributeValue* value = layout().valueAt(i);
        if (value == nullptr) {
            break;
        }
        for (std::size_t s = first; s < first + attribute.fieldCount && s < usedSlotCount(); ++s) {
            if (!value->isValidText(slot(s))) {
                InvalidValue invalid;
                invalid.table = description().fileSign;
                invalid.key = key;
                invalid.column = columnHeading(s);
                invalid.text = slot(s);
                out.push_back(std::move(invalid));
            }
        }
        first += attribute.fieldCount;
    }
}
