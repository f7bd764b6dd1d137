#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/record_layout.h"
#include "dictionary/send_result.h"
#include "dictionary/table_description.h"

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

// One scale table on the PC: its own copy of the TableDescription, the current record (a key
// and 150 text slots) and the RecordLayout that moves the current record to and from the bytes
// exchanged with the scale. Also carries what the job uses to choose the tables of a transfer:
// the selected flag and the key range. Record stores and transfers are added by derived
// classes.
//
// The value objects of the layout point into this object's key and slots, so a Table is never
// copied or moved.
class Table {
  public:
    static constexpr std::size_t kSlotCount = 150;

    // Builds the layout: attribute i owns the fieldCount(i) slots after those of the
    // attributes before it, and gets the value object of its type. The layout stays incomplete
    // (and the table unselected) when the attributes need 150 slots or more or one has a type
    // outside 0..10; attributes from there on get no value object. Never throws for a bad
    // description. An attributeCount above 100 counts as 100.
    explicit Table(TableDescription description);
    virtual ~Table() = default;

    // Record transfer, implemented by the handler classes in tables/. A bare Table holds no
    // records: it sends nothing (Nothing), stores nothing and writes no file.
    //
    // Before sending the table to the scale `scaleNumber`.
    virtual void startSending(int scaleNumber);
    // Takes one record received from the scale (its record bytes) into the store. Only: the
    // table is done after this record; More: more may follow. May write the status text.
    virtual SendResult storeReceived(std::string& status, int scaleNumber,
                                     const std::string& record);
    // Appends the table's busSign, ETB and the next record to `record` (when Only or More).
    virtual SendResult nextToSend(std::string& status, int scaleNumber, std::string& record);
    // Before fetching the table from the scale.
    virtual void prepareReceive(int scaleNumber);
    // Removes every stored record.
    virtual void clearRecords();
    // Writes the stored records as CSV file(s) into `directory` (which ends with the path
    // separator). True when every file it meant to write was written completely; an old file
    // is replaced only by a complete new one.
    virtual bool exportCsv(const std::string& directory);
    // Replaces the stored records by those of the CSV file(s) in `directory`. Throws
    // CTableExceptions (code 1) when the table's file(s) cannot be read.
    virtual void importCsv(const std::string& directory);
    // Appends every text of the records the table would send (within its key range) that
    // the value classes cannot send as it stands, and every text of the last import that
    // had no Windows-1252 form. The current record is overwritten.
    virtual void findInvalidValues(std::vector<InvalidValue>& out);

    // CSV files (tables/table_csv.cpp). The file of the table in `directory`:
    // directory + fileSign + ".csv", with the two-digit scale number before ".csv" for a
    // configuration table.
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
    bool writeCsvLine(CsvOutputFile& out);
    // The same for a record as Table::packRecord packed it, under `key`. The current record
    // is left as it was unless a value has to be logged.
    bool writeCsvLine(CsvOutputFile& out, const std::string& packed, std::int32_t key);
    // The number in the name of the file that records fetched under `fetchedNumber` are
    // written to: 0 for a table kept in one file (a configuration table of types 1 to 3 holds
    // the records of every number in one store), the number itself for a table kept per scale.
    virtual int csvFileNumber(int fetchedNumber) const;
    // Writes a file with the two heading lines only (a table fetched empty). True on success.
    bool writeEmptyCsv(const std::string& directory, int scaleNumber);
    // The texts of the last import that had no Windows-1252 form (kept as the file held them).
    const std::vector<InvalidValue>& unconvertibleValues() const { return unconvertible_; }
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

    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // Selects the table for the current job; a table whose layout is incomplete stays out.
    void select();
    void deselect() { selected_ = false; }
    bool isSelected() const { return selected_; }

    bool isLayoutComplete() const { return layoutComplete_; }
    bool isMeta() const { return isTdes_ || isAdes_; }
    bool isTdes() const { return isTdes_; }
    bool isAdes() const { return isAdes_; }
    bool isArticleTable() const { return articleTable_; }
    // Some attribute carries the never-sent flag: the job never sends this table to the scale.
    bool isSendBlocked() const { return sendBlocked_; }
    std::uint8_t busSign() const { return description_.busSign; }
    bool isConfigurationTable() const { return description_.busSign >= 0x80; }
    std::string fileSign() const { return description_.fileSign; }
    std::string name() const { return description_.name; }
    const TableDescription& description() const { return description_; }

    // Sets the key range of the transfer: the ends are put in order, and each end outside
    // minIndex..maxIndex is replaced by that bound on its own side. A range that lies wholly
    // outside minIndex..maxIndex holds no key (rangeHigh below rangeLow): false.
    bool setRange(std::uint32_t a, std::uint32_t b);
    std::uint32_t rangeLow() const { return rangeLow_; }
    std::uint32_t rangeHigh() const { return rangeHigh_; }

    // The slots of the first attribute whose fileSign is `code` (byte for byte). Without one,
    // fieldCount = 0 and the result is false.
    bool findAttribute(const std::string& code, std::size_t& firstSlot,
                       std::uint32_t& fieldCount) const;

    // Empties the current record: key 0, every slot the attributes own the empty text.
    void clearRecord();

    // The current record.
    std::int32_t key() const { return key_; }
    void setKey(std::int32_t key) { key_ = key; }
    const std::string& slot(std::size_t i) const { return slots_.at(i); }
    std::string& slot(std::size_t i) { return slots_.at(i); }
    // The number of slots, from slot 0 on, that the attributes with a value object own;
    // the other slots are never read or written by the layout.
    std::size_t usedSlotCount() const { return usedSlots_; }

    // The used slots of the current record as one compact byte string (each slot its length
    // as a base-128 number, low seven bits first, then its bytes), so that a store of many
    // records holds one string per record and nothing for slots the layout does not use.
    void packRecord(std::string& out) const;
    std::string packRecord() const;
    // Puts a packed record back into the used slots. False, changing nothing, when `packed`
    // is not exactly what packRecord produces for this table.
    bool unpackRecord(const std::string& packed);

    RecordLayout& layout() { return layout_; }
    const RecordLayout& layout() const { return layout_; }

  protected:
    // Appends the invalid texts of the current record, reported under `key`.
    void collectInvalidTexts(std::int32_t key, std::vector<InvalidValue>& out) const;
    std::string columnHeading(std::size_t slot) const;
    // The number of columns a data line of this table has.
    std::size_t csvColumnCount() const;
    bool appendPackedCsvLine(const std::string& packed, std::int32_t key, std::string& line) const;
    bool isPlainCsvLine(const std::string& line) const;
    void logUnwritableValues() const;

    // After readCsvLine: when the line had a key column, checks its text. A text the key's
    // value class cannot send, or a key outside 1..`highestKey`, is noted in invalidKeys_
    // (reported like any invalid value, with the text as the line held it). False for such
    // a key.
    bool noteImportedKey(std::uint32_t highestKey);
    // Empties both import problem lists; every import starts with it.
    void clearImportProblems();

    void noteFileProblem(const std::string& text, std::int32_t message);

    std::vector<InvalidValue> unconvertible_;
    std::vector<InvalidValue> invalidKeys_;
    std::vector<InvalidValue> fileProblems_;

  private:
    bool createValue(std::size_t index, const AttributeDescription& attribute, std::size_t first);
    void takeKeyField(const std::string& line, const ColumnMap& map);
    void logUnknownColumns(const std::string& path, const ColumnMap& map) const;
    void checkNameLine(const std::string& path, const std::string& names, const ColumnMap& map);
    void noteUnreadable(const std::string& path, const std::string& reason);
    static std::int32_t lastColumnOf(const ColumnMap& map, std::int32_t attribute);
    static std::string fieldOf(const std::string& line, std::size_t column);

    TableDescription description_;
    std::int32_t key_ = 0;
    std::array<std::string, kSlotCount> slots_{};
    RecordLayout layout_;
    std::size_t usedSlots_ = 0;
    bool wroteUnreadableLine_ = false;
    std::uint32_t rangeLow_ = 0;
    std::uint32_t rangeHigh_ = 0;
    bool articleTable_ = false;
    bool selected_ = false;
    bool layoutComplete_ = false;
    bool isTdes_ = false;
    bool isAdes_ = false;
    bool sendBlocked_ = false;
    // The key attribute (types 7, 8, 10) with a value object, -1 without one.
    std::int32_t keyAttribute_ = -1;
    // The key field of the line readCsvLine read last, when the file has a key column.
    bool lineHadKey_ = false;
    std::string lineKeyText_;
    std::string lineKeyHeading_;
    // The current file's first data line was noted for having no column of an attribute.
    bool fileHasNoAttribute_ = false;
    bool keepFiles_ = false;
};
