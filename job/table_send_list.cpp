#include "job/table_send_list.h"

#include <algorithm>

#include "diag/messages.h"
#include "dictionary/table.h"
#include "job/job_output.h"
#include "platform/platform.h"
#include "protocol/scale_protocol.h"
#include "tables/held_records.h"

using namespace job_output;

namespace {

// What the scale holds is saved at least this often while records move.
constexpr std::uint64_t kHeldSaveIntervalMs = 2000;

}  // namespace

std::int32_t TableSendList::heldKey(const Table& table) {
    const TableType type = table.description().tableType;
    return type == TableType::SingleRecord || type == TableType::PerScale ? 0 : table.key();
}

std::string TableSendList::recordOfRequest(const std::string& request, std::size_t startSize) {
    std::string record = request.substr(std::min(startSize, request.size()));
    if (!record.empty() && record.back() == protocol::ETB) {
        record.pop_back();
    }
    return record;
}

std::string TableSendList::recordOfReply(const std::string& payload) {
    std::string record = payload.size() > 1 ? payload.substr(1) : std::string();
    if (record.size() >= 2 && record[record.size() - 2] == protocol::ETX) {
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
        const SendResult result = table.nextToSend(status, number, record.request);
        if (result != SendResult::Only && result != SendResult::More) {
            break;
        }
        ++total_;
        record.key = heldKey(table);
        record.bytes = recordOfRequest(record.request, requestStart.size());
        if (!changedOnly || !held.holds(table.fileSign(), number, record.key, record.bytes)) {
            record.status = status;
            records_.push_back(std::move(record));
        }
        if (result == SendResult::Only) {
            break;
        }
    }
}

void TableSendList::rememberFetched(HeldRecords& held, const Table& table, int number,
                                    const std::string& payload) {
    held.remember(table.fileSign(), number, heldKey(table), recordOfReply(payload));
}

TableSendList::Start TableSendList::start(Table& table, int number, bool configPass,
                                          const std::string& requestStart, HeldRecords& held,
                                          bool changedOnly, std::string& status) {
    build(table, number, requestStart, held, changedOnly, status);
    next_ = 0;
    if (changedOnly) {
        logChangedCount(table, configPass, number);
    }
    if (records_.empty()) {
        if (total_ == 0) {
            log(text(Message::NothingToTransfer));
        }
        return Start::Empty;
    }
    return forgetBeforeSending(held, table, number) ? Start::Ready : Start::Refused;
}

bool TableSendList::acknowledged(HeldRecords& held, const Table& table, int number) {
    const Record& sent = records_[next_];
    held.remember(table.fileSign(), number, sent.key, sent.bytes);
    const bool more = ++next_ < records_.size();
    held.saveEvery(kHeldSaveIntervalMs, !more);
    return more;
}

bool TableSendList::forgetBeforeSending(HeldRecords& held, const Table& table, int number) const {
    for (const Record& record : records_) {
        held.forget(table.fileSign(), number, record.key);
    }
    std::string reason;
    if (!held.save() &&
        platform::readAccess(held.path(), reason) != platform::FileAccess::Missing) {
        log(held.path() +
            " cannot be written: it would claim records the scale no longer holds; delete it");
        return false;
    }
    return true;
}

void TableSendList::logChangedCount(const Table& table, bool configPass, int number) const {
    std::string name = table.fileSign();
    if (configPass) {
        name += format(" (number %02d)", number);
    }
    log(name + format(": %u of %u records changed, %u unchanged not sent",
                      static_cast<unsigned>(size()), static_cast<unsigned>(total()),
                      static_cast<unsigned>(total() - size())));
}

std::unique_ptr<HeldRecords> loadHeldRecords(const JobParseResult& job,
                                             const std::string& identification, int scaleNumber) {
    auto held = std::make_unique<HeldRecords>(job.workDir, identification, scaleNumber);
    std::string detail;
    switch (held->load(detail)) {
        case HeldRecords::Loaded::Known:
            return held;
        case HeldRecords::Loaded::Missing:
            if (!job.changedOnly) {
                return held;
            }
            detail = "Nothing is known of what this scale holds (" + detail + ")";
            break;
        default:
            detail += ": not used";
            break;
    }
    log(detail + (job.changedOnly ? ": every record is sent" : ""));
    return held;
}
