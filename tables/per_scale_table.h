#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tables/csv_table.h"

// A table of one record per scale number 0 to 10 (table type 4), one CSV file per scale
// number. The stored record is the slots only; the status text is emptied, not written.
class PerScaleTable : public CsvTable {
  public:
    explicit PerScaleTable(TableDescription description) : CsvTable(std::move(description)) {}

    void startSending(int scaleNumber) override;
    // Stores the record under the scale number, replacing the one before. Returns 1.
    SendResult storeReceived(std::string& status, int scaleNumber,
                             const std::string& record) override;
    // The record of the scale: 1; none stored: 4.
    SendResult nextToSend(std::string& status, int scaleNumber, std::string& record) override;
    void prepareReceive(int scaleNumber) override;
    void clearRecords() override;
    // Each scale number has its own file.
    int csvFileNumber(int fetchedNumber) const override { return fetchedNumber; }
    bool exportCsv(const std::string& directory) override;
    // Takes the first data line of each scale's file; throws CTableExceptions (1) only when
    // none of the files could be read.
    void importCsv(const std::string& directory) override;
    void findInvalidValues(std::vector<InvalidValue>& out) override;

    const std::map<std::uint32_t, std::string>& records() const { return records_; }

  private:
    std::map<std::uint32_t, std::string> records_;
};
