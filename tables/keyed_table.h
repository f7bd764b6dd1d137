#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tables/csv_table.h"

// A table of records by key (table types 2 and 3; also the meta-tables TDES and ADES), kept
// in one CSV file. Records go to the scale in ascending key order within the table's range,
// up to maxIndex; a record stored under key 0 or above maxIndex is kept but never sent nor
// written to a file.
class KeyedTable : public CsvTable {
  public:
    // Stored records by key, each the used slots packed into one string (Table::packRecord).
    using Store = std::map<std::uint32_t, std::string>;

    explicit KeyedTable(TableDescription description) : CsvTable(std::move(description)) {}

    // The scale number is not used: the walk restarts below rangeLow.
    void startSending(int scaleNumber) override;
    // Decodes the record and stores it under its key (no range test); status "NAME:    k".
    // Returns 2.
    SendResult storeReceived(std::string& status, int scaleNumber,
                             const std::string& record) override;
    // The next stored record above the current key: 2 with the record appended and the
    // status "NAME:    k"; 3 with the status "End NAME" beyond maxIndex or rangeHigh.
    SendResult nextToSend(std::string& status, int scaleNumber, std::string& record) override;
    void prepareReceive(int scaleNumber) override;
    void clearRecords() override;
    // Nothing is written (and an old file stays) while no record is stored.
    bool exportCsv(const std::string& directory) override;
    // A line without key column is stored under the key after the previous line's; a column
    // the file lacks keeps the previous line's text, or that of the record already stored
    // under the new key.
    void importCsv(const std::string& directory) override;
    void findInvalidValues(std::vector<InvalidValue>& out) override;

    const Store& records() const { return records_; }
    // Makes the record stored under `key` the current record (slots and key); false when
    // none is stored.
    bool loadRecord(std::uint32_t key);
    // Stores the current record's slots under `key`, replacing what was there.
    void storeRecord(std::uint32_t key);

  protected:
    static void storeInto(Store& store, std::uint32_t key, const Table& table);
    void setMaxKeyOnEnd();

    Store records_;
};
