#include "job/table_send_list.h"

#include "diag/held_records.h"
#include "dictionary/table.h"

namespace {

// nextToSend: a record and it is the table's only one; a record and more may follow.
constexpr int kOnlyRecord = 1;
constexpr int kMoreRecords = 2;

}  // namespace

std::int32_t TableSendList::heldKey(const Table& table) {
    const std::uint8_t type = table.description().tableType;
    return type == 1 || type == 4 ? 0 : table.key();
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
        record.bytes = record.request.substr(requestStart.size());
        if (!changedOnly || !held.holds(table.fileSign(), number, record.key, record.bytes)) {
            record.status = status;
            records_.push_back(std::move(record));
        }
        if (result == kOnlyRecord) {
            break;
        }
    }
}
