#pragma once

#include <string>
#include <vector>

#include "tables/csv_table.h"

// A table of at most one record, without key (table type 1), kept in the current record
// itself while `held` says that it holds one. The status text is left as it is.
class SingleRecordTable : public CsvTable {
  public:
    explicit SingleRecordTable(TableDescription description) : CsvTable(std::move(description)) {}

    void startSending(int scaleNumber) override;
    // Empties the current record and decodes into it. 1.
    SendResult storeReceived(std::string& status, int scaleNumber,
                             const std::string& record) override;
    // The held record: 1 (every time); none: 4.
    SendResult nextToSend(std::string& status, int scaleNumber, std::string& record) override;
    // Keeps the held record: a configuration table is fetched once per number into the one
    // record (and file), so a number for which the scale sends none must not clear the record
    // an earlier number sent.
    void prepareReceive(int scaleNumber) override;
    void clearRecords() override;
    bool exportCsv(const std::string& directory) override;
    // Takes the file's first data line; further lines are ignored.
    void importCsv(const std::string& directory) override;
    void findInvalidValues(std::vector<InvalidValue>& out) override;

    bool isHeld() const { return held_; }

  private:
    bool held_ = false;
};
