#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class HeldRecords;
class Table;

// The records of one table that a job sends under one number, worked out before the first of
// them goes out: the table's records in its own send order, each with its whole request. A job
// that sends only what changed leaves out every record that the scale is known to hold exactly
// as it would be sent; the order of the others, and so what the scale receives, stays as it is.
class TableSendList {
  public:
    struct Record {
        std::string request;   // the record request, ready for the link
        std::string status;    // what the table's status text said for this record
        std::int32_t key = 0;  // the record's key, 0 for a table of one record (per scale)
        std::string bytes;     // the record as the scale keeps it: the request after its kind
    };

    // Walks `table` from startSending(number) through nextToSend; every request begins with
    // `requestStart`. With `changedOnly`, the records `held` knows as they are are counted but
    // not listed. `status` is left as the table's last call left it.
    void build(Table& table, int number, const std::string& requestStart, const HeldRecords& held,
               bool changedOnly, std::string& status);

    // The records of the table in the job's range, and those of them to send.
    std::size_t total() const { return total_; }
    std::size_t size() const { return records_.size(); }
    const Record& at(std::size_t index) const { return records_[index]; }

    // The key under which the held records know a record of `table`: its key, or 0 for a table
    // that keeps one record (per scale number).
    static std::int32_t heldKey(const Table& table);

  private:
    std::vector<Record> records_;
    std::size_t total_ = 0;
};
