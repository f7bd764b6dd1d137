// The CSV side of Table and RecordLayout: file names, the two heading lines, data lines.

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "diag/job_log.h"
#include "dictionary/table.h"
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

std::string numberedHeading(const std::string& sign, std::uint32_t number) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%03u", static_cast<unsigned>(number % 1000));
    return sign + buffer;
}

}  // namespace

// ---- RecordLayout ----

void RecordLayout::writeCsvRecord(std::string& out) const {
    const std::size_t start = out.size();
    for (const auto& value : values_) {
        if (value) {
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
void RecordLayout::readCsvRecord(const std::string& line, const ColumnMap& map) {
    std::string field;
    std::size_t start = 0;
    bool pastEnd = false;
    for (std::size_t column = 0;; ++column) {
        const std::int32_t entry = map.at(column);
        if (entry == ColumnMap::kEnd) {
            break;
        }
        std::size_t end = line.size();
        if (pastEnd) {
            field.clear();
        } else {
            end = std::min(line.find(';', start), line.size());
            field.assign(line, start, end - start);
        }
        if (entry >= 0) {
            AttributeValue* value = valueAt(static_cast<std::size_t>(entry));
            if (value != nullptr) {
                const std::int32_t index = map.field(column);
                if (index >= 0) {
                    value->setField(static_cast<std::uint32_t>(index), field);
                } else {
                    value->setText(field);
                }
            }
        }
        if (end >= line.size()) {
            pastEnd = true;
        } else {
            start = end + 1;
        }
    }
}

// ---- Table: names and heading lines ----

std::string Table::csvFileName(const std::string& directory, int scaleNumber) const {
    if (!isConfigurationTable()) {
        return directory + description_.fileSign + ".csv";
    }
    char number[16];
    std::snprintf(number, sizeof number, "%02d", scaleNumber);
    return directory + description_.fileSign + number + ".csv";
}

std::string Table::headingLine() const {
    std::string line;
    for (std::size_t i = 0; i < layout_.count(); ++i) {
        const AttributeDescription& attribute = description_.attributes[i];
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

std::string Table::nameLine() const {
    std::string line;
    for (std::size_t i = 0; i < layout_.count(); ++i) {
        const AttributeDescription& attribute = description_.attributes[i];
        const std::uint32_t times = attribute.fieldCount == 0 ? 1 : attribute.fieldCount;
        for (std::uint32_t n = 0; n < times; ++n) {
            line += attribute.name;
            line.push_back(';');
        }
    }
    return line + "\r\n";
}

std::size_t Table::csvColumnCount() const {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < layout_.count() && layout_.valueAt(i) != nullptr; ++i) {
        const AttributeDescription& attribute = description_.attributes[i];
        switch (attribute.valueType()) {
            case 3:
            case 7:
            case 8:
            case 9:
            case 10:
                columns += 1;  // one column whatever the field count
                break;
            default:
                columns += attribute.fieldCount;
        }
    }
    return columns;
}

std::string Table::columnHeading(std::size_t slot) const {
    std::size_t first = 0;
    for (std::size_t i = 0; i < layout_.count(); ++i) {
        const AttributeDescription& attribute = description_.attributes[i];
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

// ---- Table: files ----

bool Table::openCsvForWrite(CsvOutputFile& out, const std::string& directory, int scaleNumber) {
    if (!out.open(csvFileName(directory, scaleNumber))) {
        return false;
    }
    out.write(headingLine());
    out.write(nameLine());
    return true;
}

int Table::openCsvForRead(CsvInputFile& in, ColumnMap& map, const std::string& directory,
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
    if (!map.build(heading, description_)) {
        return 0;
    }
    logUnknownColumns(path, map);
    std::string names;
    in.nextLine(names);
    checkNameLine(path, names, map);
    return 1;
}

// Once per file: a column whose heading names no attribute (its fields are ignored).
void Table::logUnknownColumns(const std::string& path, const ColumnMap& map) const {
    if (g_log == nullptr) {
        return;
    }
    for (std::size_t column = 0; column < map.size(); ++column) {
        if (map.at(column) == ColumnMap::kNoAttribute) {
            g_log->add(path + ": column " + std::to_string(column + 1) + " \"" +
                       map.heading(column) + "\" names no attribute of table " +
                       description_.fileSign + ": its fields are ignored");
        }
    }
}

// Line 2 is the name line. When its key field holds a key the table can have, the file lacks
// its name line and its first record would be skipped.
void Table::checkNameLine(const std::string& path, const std::string& names, const ColumnMap& map) {
    const std::int32_t keyColumn = lastColumnOf(map, keyAttribute_);
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
    if (number >= 1 && number <= static_cast<long long>(description_.maxIndex)) {
        noteFileProblem(path + ", line 2: holds the key " + text.substr(first, last - first + 1) +
                            ": line 2 must be the name line (the columns' names), the records "
                            "start on line 3",
                        40);
    }
}

void Table::noteUnreadable(const std::string& path, const std::string& reason) {
    noteFileProblem(path + ": the file cannot be read (" + reason + ")", 43);
}

void Table::noteFileProblem(const std::string& text, std::int32_t message) {
    InvalidValue problem;
    problem.table = description_.fileSign;
    problem.problem = text;
    problem.message = message;
    fileProblems_.push_back(std::move(problem));
}

bool Table::readCsvLine(CsvInputFile& in, const ColumnMap& map) {
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
    for (std::size_t slot = 0; slot < usedSlots_; ++slot) {
        slots_[slot].clear();
    }
    layout_.clearValues();
    if (!map.anyAttribute() && !fileHasNoAttribute_) {
        fileHasNoAttribute_ = true;
        noteFileProblem(in.path() + ", line " + std::to_string(in.lineNumber()) +
                            ": no column of the heading names an attribute of table " +
                            description_.fileSign,
                        40);
    }
    if (!in.utf8 || isAscii(line)) {
        layout_.readCsvRecord(line, map);
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
    std::size_t start = 0;
    for (std::size_t column = 0;; ++column) {
        std::size_t end = line.find(';', start);
        if (end == std::string::npos) {
            end = line.size();
        }
        field.assign(line, start, end - start);
        if (isAscii(field)) {
            converted += field;
        } else if (platform::utf8ToWindows1252(field, field1252)) {
            converted += field1252;
        } else {
            converted += field;
            failedColumns.push_back(column);
            failedTexts.push_back(field);
        }
        if (end >= line.size()) {
            break;
        }
        converted.push_back(';');
        start = end + 1;
    }
    layout_.readCsvRecord(converted, map);
    takeKeyField(converted, map);
    for (std::size_t i = 0; i < failedColumns.size(); ++i) {
        if (map.at(failedColumns[i]) < 0) {
            continue;  // a column no attribute takes
        }
        InvalidValue invalid;
        invalid.table = description_.fileSign;
        invalid.key = key_;
        invalid.column = map.heading(failedColumns[i]);
        invalid.text = failedTexts[i];
        unconvertible_.push_back(std::move(invalid));
    }
    return true;
}

// The key value takes the last column headed with the key's file sign, as readCsvRecord hands
// the fields out: that field is the line's key text.
void Table::takeKeyField(const std::string& line, const ColumnMap& map) {
    lineHadKey_ = false;
    const std::int32_t keyColumn = lastColumnOf(map, keyAttribute_);
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
std::int32_t Table::lastColumnOf(const ColumnMap& map, std::int32_t attribute) {
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

// Field `column` of a line split at every ";"; empty beyond the line's last field.
std::string Table::fieldOf(const std::string& line, std::size_t column) {
    std::size_t start = 0;
    for (std::size_t c = 0; c < column; ++c) {
        const std::size_t end = line.find(';', start);
        if (end == std::string::npos) {
            return {};
        }
        start = end + 1;
    }
    return line.substr(start, std::min(line.find(';', start), line.size()) - start);
}

bool Table::noteImportedKey(std::uint32_t highestKey) {
    if (!lineHadKey_) {
        return true;
    }
    const AttributeValue* value = layout_.valueAt(static_cast<std::size_t>(keyAttribute_));
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
    invalid.table = description_.fileSign;
    invalid.key = key_;
    invalid.column = lineKeyHeading_;
    invalid.text = lineKeyText_;
    invalid.badKey = true;
    invalidKeys_.push_back(std::move(invalid));
    return false;
}

void Table::clearImportProblems() {
    unconvertible_.clear();
    invalidKeys_.clear();
    fileProblems_.clear();
    fileHasNoAttribute_ = false;
    keepFiles_ = false;
}

bool Table::writeCsvLine(CsvOutputFile& out) {
    static thread_local std::string line;
    line.clear();
    layout_.writeCsvRecord(line);
    if (!isPlainCsvLine(line)) {
        wroteUnreadableLine_ = true;
        logUnwritableValues();
    }
    out.write(line);
    return true;
}

bool Table::writeCsvLine(CsvOutputFile& out, const std::string& packed, std::int32_t key) {
    static thread_local std::string line;
    line.clear();
    if (!appendPackedCsvLine(packed, key, line)) {
        unpackRecord(packed);
        key_ = key;
        return writeCsvLine(out);
    }
    if (!isPlainCsvLine(line)) {
        wroteUnreadableLine_ = true;
        unpackRecord(packed);
        key_ = key;
        logUnwritableValues();
    }
    out.write(line);
    return true;
}

// Every value writes its slot texts, or the key, each followed by ";": a packed record (the
// slots in order, each its length and bytes) gives the line without filling the slots. False
// when the packed record does not fit the layout or a value's columns are not simply its
// slots (an incomplete layout, a one-slot value without a slot of its own); the caller then
// goes through the value objects.
bool Table::appendPackedCsvLine(const std::string& packed, std::int32_t key,
                                std::string& line) const {
    if (!layoutComplete_) {
        return false;
    }
    std::size_t pos = 0;
    const auto nextSlot = [&packed, &pos](std::size_t& start, std::size_t& length) {
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
        start = pos;
        if (length > packed.size() - pos) {
            return false;
        }
        pos += length;
        return true;
    };
    std::size_t start = 0;
    std::size_t length = 0;
    for (std::size_t i = 0; i < layout_.count(); ++i) {
        const AttributeDescription& attribute = description_.attributes[i];
        switch (attribute.valueType()) {
            case 7:
            case 8:
            case 10:
                line += std::to_string(key);
                line.push_back(';');
                for (std::uint32_t n = 0; n < attribute.fieldCount; ++n) {
                    if (!nextSlot(start, length)) {
                        return false;
                    }
                }
                break;
            case 3:
            case 9:
                if (attribute.fieldCount == 0) {
                    return false;
                }
                for (std::uint32_t n = 0; n < attribute.fieldCount; ++n) {
                    if (!nextSlot(start, length)) {
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
                    if (!nextSlot(start, length)) {
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
bool Table::isPlainCsvLine(const std::string& line) const {
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
void Table::logUnwritableValues() const {
    if (g_log == nullptr) {
        return;
    }
    for (std::size_t slot = 0; slot < usedSlots_; ++slot) {
        const std::string& text = slots_[slot];
        if (std::any_of(text.begin(), text.end(),
                        [](char c) { return c == ';' || c == '\r' || c == '\n'; })) {
            g_log->add(description_.fileSign + ": key " + std::to_string(key_) + ", column " +
                       columnHeading(slot) +
                       ": the value holds \";\", CR or LF and cannot be read back as written");
        }
    }
}

int Table::csvFileNumber(int) const {
    return 0;
}

bool Table::writeEmptyCsv(const std::string& directory, int scaleNumber) {
    CsvOutputFile out;
    openCsvForWrite(out, directory, scaleNumber);
    return out.commit();
}

// ---- Table: what a bare table does for the record transfer ----

void Table::startSending(int) {}

SendResult Table::storeReceived(std::string&, int, const std::string&) {
    return SendResult::Only;
}

SendResult Table::nextToSend(std::string&, int, std::string&) {
    return SendResult::Nothing;
}

void Table::prepareReceive(int) {}

void Table::clearRecords() {}

bool Table::exportCsv(const std::string&) {
    return true;
}

void Table::importCsv(const std::string&) {}

void Table::findInvalidValues(std::vector<InvalidValue>& out) {
    out.insert(out.end(), unconvertible_.begin(), unconvertible_.end());
    out.insert(out.end(), invalidKeys_.begin(), invalidKeys_.end());
    out.insert(out.end(), fileProblems_.begin(), fileProblems_.end());
}

void Table::collectInvalidTexts(std::int32_t key, std::vector<InvalidValue>& out) const {
    std::size_t first = 0;
    for (std::size_t i = 0; i < layout_.count(); ++i) {
        const AttributeDescription& attribute = description_.attributes[i];
        const AttributeValue* value = layout_.valueAt(i);
        if (value == nullptr) {
            break;
        }
        for (std::size_t s = first; s < first + attribute.fieldCount && s < usedSlots_; ++s) {
            if (!value->isValidText(slots_[s])) {
                InvalidValue invalid;
                invalid.table = description_.fileSign;
                invalid.key = key;
                invalid.column = columnHeading(s);
                invalid.text = slots_[s];
                out.push_back(std::move(invalid));
            }
        }
        first += attribute.fieldCount;
    }
}
