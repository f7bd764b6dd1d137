#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "job/job_parameters.h"

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
        std::string bytes;     // the record as the scale keeps it (recordOfRequest)
    };

    // Walks `table` from startSending(number) through nextToSend; every request begins with
    // `requestStart`. With `changedOnly`, the records `held` knows as they are are counted but
    // not listed. `status` is left as the table's last call left it.
    void build(Table& table, int number, const std::string& requestStart, const HeldRecords& held,
               bool changedOnly, std::string& status);

    enum class Start {
        Empty,    // nothing to send (logged: with KWCHANGED the counts, else when the table
                  // holds no record at all)
        Refused,  // the held records cannot be saved (logged): nothing may be sent
        Ready,    // current() is the first record to send
    };
    // Builds the list of the table being sent and gets it ready: with `changedOnly` the log
    // gets the counts; before the first record goes out, `held` forgets every listed record.
    Start start(Table& table, int number, bool configPass, const std::string& requestStart,
                HeldRecords& held, bool changedOnly, std::string& status);
    // The record under way, and how many of the list the scale has acknowledged.
    const Record& current() const { return records_[next_]; }
    std::size_t acknowledgedCount() const { return next_; }
    // The scale acknowledged current(): `held` remembers it (and is saved every few seconds,
    // and at the end of the list). True while more records follow.
    bool acknowledged(HeldRecords& held, const Table& table, int number);

    // The records of the table in the job's range, and those of them to send.
    std::size_t total() const { return total_; }
    std::size_t size() const { return records_.size(); }
    const Record& at(std::size_t index) const { return records_[index]; }

    // Before the first record goes out: `held` forgets every listed record and is saved, so
    // that a record whose sending has begun counts as held again only once the scale
    // acknowledged it, whatever becomes of the job. False (and logged) when the file is there
    // but cannot be written: it would go on claiming records about to change.
    bool forgetBeforeSending(HeldRecords& held, const Table& table, int number) const;
    // Logs "<table>: n of N records changed, m unchanged not sent" (with the number in a
    // configuration pass).
    void logChangedCount(const Table& table, bool configPass, int number) const;

    // The key under which the held records know a record of `table`: its key, or 0 for a table
    // that keeps one record (per scale number).
    static std::int32_t heldKey(const Table& table);
    // The record as the scale keeps it and sends it back: from the table's bus sign to the end
    // of the record, without the frame around it. Of a record request (its start is `startSize`
    // bytes long, the last ETB becomes the frame's ETX), and of the payload of a record reply
    // (kind byte, the record, ETX and the block check).
    static std::string recordOfRequest(const std::string& request, std::size_t startSize);
    static std::string recordOfReply(const std::string& payload);
    // A record of `table` fetched under `number` (the payload of its reply): `held` knows it.
    static void rememberFetched(HeldRecords& held, const Table& table, int number,
                                const std::string& payload);

  private:
    std::vector<Record> records_;
    std::size_t total_ = 0;
    std::size_t next_ = 0;
};

// What the scale `identification` with the number `scaleNumber` is known to hold, from its file
// in the job's working directory. A file written for another scale (a copy, a renamed file) or
// not as this program writes it is not used (logged): the job then knows nothing, and a job
// that sends only what changed sends everything.
std::unique_ptr<HeldRecords> loadHeldRecords(const JobParseResult& job,
                                             const std::string& identification, int scaleNumber);
