#include "job/table_send_list.h"

#include <algorithm>

#include "diag/held_records.h"
#include "dictionary/table.h"

namespace {

// nextToSend: a record and it is the table's only one; a record and more may follow.
constexpr int kOnlyRecord = 1;
constexpr int kMoreRecords = 2;
constexpr char kEtx = 0x03;
constexpr char kEtb = 0x17;

}  // namespace

std::int32_t TableSendList::heldKey(const Table& table) {
    const std::uint8_t type = table.description().tableType;
    return type == 1 || type == 4 ? 0 : table.key();
}

std::string TableSendList::recordOfRequest(const std::string& request, std::size_t startSize) {
    std::string record = request.substr(std::min(startSize, request.size()));
    if (!record.empty() && record.back() == kEtb) {
        record.pop_back();
    }
    return record;
}

std::string TableSendList::recordOfReply(const std::string& payload) {
    std::string record = payload.size() > 1 ? payload.substr(1) : std::string();
    if (record.size() >= 2 && record[record.size() - 2] == kEtx) {
        record.resize(record.size() - 2);
    }
    return record;
}

void TableSendList::build(Table& table, int number, const std::string& requestStart,
                          const HeldRecords& held, bool changedOnly, std::string& status) {
    records_.clear();
    total_ = 0;
    table.startSending(number);
    for (;;) {
        Record record;
        record.request = requestStart;
        const int result = table.nextToSend(status, number, record.request);
        if (result != kOnlyRecord && result != kMoreRecords) {
            break;
        }
        ++total_;
        record.key = heldKey(table);
        record.bytes = recordOfRequest(record.request, requestStart.size());
        if (!changedOnly || !held.holds(table.fileSign(), number, record.key, record.bytes)) {
            record.status = status;
            records_.push_back(std::move(record));
        }
        if (result == kOnlyRecord) {
            break;
        }
    }
}
