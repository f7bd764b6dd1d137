#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/record_layout.h"
#include "dictionary/table.h"

class ColumnMap;
class CsvInputFile;
class CsvOutputFile;

// A column text that cannot be sent as it stands, found in a table's stored records: what the
// job logs (table, key, column, text) before it refuses to send anything.
struct InvalidValue {
    std::string table;        // the table's fileSign
    std::int32_t key = 0;     // the record key (0 for a table without key)
    std::int32_t scale = -1;  // the scale number for a table kept per scale, else -1
    std::string column;       // the column heading
    std::string text;         // the text as the file held it
    bool badKey = false;      // the text is the line's key field, which names no valid key
    // A finding about a file rather than one value (no name line, no column of the table, a
    // file that cannot be read): the whole log line, and the error a job that sends ends with.
    std::string problem;
    std::int32_t message = 40;
};

// The CSV side of a RecordLayout. Appends the current record as one data line: every value's
// columns separated by ";" (no ";" after the last column), then CR LF.
void writeCsvRecord(const RecordLayout& layout, std::string& out);
// Hands the fields of one data line to the values the map names for their columns, in column
// order; every ";" separates two fields, so empty fields (also a last one after a final ";")
// arrive as empty texts. Columns the map does not name, and fields beyond the last column, are
// skipped; values without a field keep their texts.
void readCsvRecord(RecordLayout& layout, const std::string& line, const ColumnMap& map);

// A Table with its CSV side: the file names, the two heading lines and the data lines of its
// files, the findings of its last import, and the export and import that the handler classes
// implement. The base class of every handler.
class CsvTable : public Table {
  public:
    explicit CsvTable(TableDescription description) : Table(std::move(description)) {}

    // Writes the stored records as CSV file(s) into `directory` (which ends with the path
    // separator). True when every file it meant to write was written completely; an old file
    // is replaced only by a complete new one. A bare CsvTable writes nothing.
    virtual bool exportCsv(const std::string& directory);
    // Replaces the stored records by those of the CSV file(s) in `directory`. Throws
    // CTableExceptions (code 1) when the table's file(s) cannot be read.
    virtual void importCsv(const std::string& directory);
    // Appends every text of the records the table would send (within its key range) that
    // the value classes cannot send as it stands, and every text of the last import that
    // had no Windows-1252 form. The current record is overwritten.
    virtual void findInvalidValues(std::vector<InvalidValue>& out);
    // The number in the name of the file that records fetched under `fetchedNumber` are
    // written to: 0 for a table kept in one file (a configuration table of types 1 to 3 holds
    // the records of every number in one store), the number itself for a table kept per scale.
    virtual int csvFileNumber(int fetchedNumber) const;

    // The file of the table in `directory`: directory + fileSign + ".csv", with the two-digit
    // scale number before ".csv" for a configuration table.
    std::string csvFileName(const std::string& directory, int scaleNumber) const;
    // The heading line (the columns' headings) and the name line, each ending with ";" and
    // CR LF.
    std::string headingLine() const;
    std::string nameLine() const;
    // Opens the table's file for writing (to a temporary name, see CsvOutputFile) and writes
    // the two heading lines. False when it cannot be created; `out` then ignores writes.
    bool openCsvForWrite(CsvOutputFile& out, const std::string& directory, int scaleNumber);
    // Opens the table's file, builds `map` from its heading line and skips the name line.
    // 0 when there is no such file or its heading line holds no field; -1 when it exists but
    // cannot be read (noted as a file problem, with the system's reason); else 1. Logs the
    // columns that name no attribute, and notes a name line that holds a key (the file then
    // lacks its name line).
    int openCsvForRead(CsvInputFile& in, ColumnMap& map, const std::string& directory,
                       int scaleNumber);
    // Reads the next data line that is not blank and distributes its fields to the current
    // record: every slot starts empty (the key is kept) and every column of the map gets its
    // field, the empty text where the line ends before it. False at the end of the file (a read
    // error is noted as a file problem). A data line when no column names an attribute is
    // noted as a file problem.
    bool readCsvLine(CsvInputFile& in, const ColumnMap& map);
    // Writes the current record as one data line. Logs each value that holds ";", CR or LF
    // (written as it is, it cannot be read back faithfully).
    void writeCsvLine(CsvOutputFile& out);
    // The same for a record as Table::packRecord packed it, under `key`. The current record
    // is left as it was unless a value has to be logged.
    void writeCsvLine(CsvOutputFile& out, const std::string& packed, std::int32_t key);
    // Writes a file with the two heading lines only (a table fetched empty). True on success.
    bool writeEmptyCsv(const std::string& directory, int scaleNumber);

    // The key fields of the last import that name no key the table can hold (see
    // noteImportedKey).
    const std::vector<InvalidValue>& invalidKeys() const { return invalidKeys_; }
    // Findings of the last import about whole files (see InvalidValue::problem).
    const std::vector<InvalidValue>& fileProblems() const { return fileProblems_; }
    // The last import met a text without Windows-1252 form, an invalid key or a file problem,
    // or keepFiles() was called since: written back, the file would lose or change what it
    // held.
    bool hasImportProblems() const {
        return keepFiles_ || !unconvertible_.empty() || !invalidKeys_.empty() ||
               !fileProblems_.empty();
    }
    // Counts the last import as one with problems (a value that cannot be sent as it stands).
    void keepFiles() { keepFiles_ = true; }
    // A line written since forgetUnreadableLines() held a value with ";", CR or LF: read back,
    // its fields would land in other columns (or lines).
    bool wroteUnreadableLine() const { return wroteUnreadableLine_; }
    void forgetUnreadableLines() { wroteUnreadableLine_ = false; }

  protected:
    // Appends the invalid texts of the current record, reported under `key`.
    void collectInvalidTexts(std::int32_t key, std::vector<InvalidValue>& out) const;

    // After readCsvLine: when the line had a key column, checks its text. A text the key's
    // value class cannot send, or a key outside 1..`highestKey`, is noted in invalidKeys_
    // (reported like any invalid value, with the text as the line held it). False for such
    // a key.
    bool noteImportedKey(std::uint32_t highestKey);
    // Empties the import problem lists; every import starts with it.
    void clearImportProblems();

    // The texts of the last import that had no Windows-1252 form (kept as the file held them).
    std::vector<InvalidValue> unconvertible_;
    std::vector<InvalidValue> invalidKeys_;
    std::vector<InvalidValue> fileProblems_;

  private:
    std::string columnHeading(std::size_t slot) const;
    // The number of columns a data line of this table has.
    std::size_t csvColumnCount() const;
    bool appendPackedCsvLine(const std::string& packed, std::int32_t key, std::string& line) const;
    bool isPlainCsvLine(const std::string& line) const;
    void logUnwritableValues() const;
    void noteFileProblem(const std::string& text, std::int32_t message);
    void takeKeyField(const std::string& line, const ColumnMap& map);
    void logUnknownColumns(const std::string& path, const ColumnMap& map) const;
    void checkNameLine(const std::string& path, const std::string& names, const ColumnMap& map);
    void noteUnreadable(const std::string& path, const std::string& reason);
    static std::int32_t lastColumnOf(const ColumnMap& map, std::int32_t attribute);

    bool wroteUnreadableLine_ = false;
    // The key field of the line readCsvLine read last, when the file has a key column.
    bool lineHadKey_ = false;
    std::string lineKeyText_;
    std::string lineKeyHeading_;
    // The current file's first data line was noted for having no column of an attribute.
    bool fileHasNoAttribute_ = false;
    bool keepFiles_ = false;
};
