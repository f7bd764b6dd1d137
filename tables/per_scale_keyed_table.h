#pragma once

#include "tables/keyed_table.h"

// A table of records by scale number (0 to 10) and key (table type 5), one CSV file per scale
// number. Every record of every scale lies in allScaleRecords under
// scale number * 65536 + key; the inherited store holds the records of one selected scale and
// is what sending and writing a file walk.
class PerScaleKeyedTable : public KeyedTable {
  public:
    explicit PerScaleKeyedTable(TableDescription description)
        : KeyedTable(std::move(description)) {}

    // Selects the scale, then restarts the walk below rangeLow.
    void startSending(int scaleNumber) override;
    // As KeyedTable, and a copy for the scale `scaleNumber`; a record whose key lies outside
    // 0..65535 is logged and not stored. Returns 2.
    SendResult storeReceived(std::string& status, int scaleNumber,
                             const std::string& record) override;
    void clearRecords() override;
    // Each scale number has its own file.
    int csvFileNumber(int fetchedNumber) const override { return fetchedNumber; }
    // One file per scale number that has a record with a key from 1 to maxIndex; afterwards
    // scale 10 is selected.
    bool exportCsv(const std::string& directory) override;
    // Reads the files of all scale numbers; throws CTableExceptions (1) only when none could
    // be read.
    void importCsv(const std::string& directory) override;
    void findInvalidValues(std::vector<InvalidValue>& out) override;

    // Fills the working store with the records of scale s whose key is at most maxIndex.
    void selectScale(int scaleNumber);
    const Store& allScaleRecords() const { return allScaleRecords_; }

  private:
    Store allScaleRecords_;
};
