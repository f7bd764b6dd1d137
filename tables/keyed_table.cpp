#include "tables/keyed_table.h"

#include <limits>

#include "dictionary/value_codec.h"
#include "tables/column_map.h"
#include "tables/csv_files.h"
#include "tables/ctable_exceptions.h"
#include "tables/handler_support.h"

using handler_support::endStatus;
using handler_support::recordStatus;

void KeyedTable::storeInto(Store& store, std::uint32_t key, const Table& table) {
    // Packed into a reused buffer first, so that each stored string gets an exact-size
    // allocation rather than the slack of growing by appends.
    static thread_local std::string packed;
    packed.clear();
    table.packRecord(packed);
    // Records mostly arrive in ascending key order: then the new entry goes at the end
    // without a search.
    if (store.empty() || key > store.rbegin()->first) {
        store.emplace_hint(store.end(), key, packed);
    } else {
        store[key] = packed;
    }
}

bool KeyedTable::loadRecord(std::uint32_t key) {
    const auto found = records_.find(key);
    if (found == records_.end()) {
        return false;
    }
    unpackRecord(found->second);
    setKey(static_cast<std::int32_t>(key));
    return true;
}

void KeyedTable::storeRecord(std::uint32_t key) {
    storeInto(records_, key, *this);
}

void KeyedTable::startSending(int) {
    setKey(static_cast<std::int32_t>(rangeLow()) - 1);
}

SendResult KeyedTable::storeReceived(std::string& status, int, const std::string& record) {
    clearRecord();
    layout().decodeRecord(record);
    storeRecord(static_cast<std::uint32_t>(key()));
    status = recordStatus(*this, key());
    return SendResult::More;
}

void KeyedTable::setMaxKeyOnEnd() {
    setKey(static_cast<std::int32_t>(description().maxIndex));
}

SendResult KeyedTable::nextToSend(std::string& status, int, std::string& record) {
    const std::uint32_t maxIndex = description().maxIndex;
    const std::int64_t current = key();
    // The stored keys are walked, not the key range: the next stored key above the current
    // one, if it is not beyond maxIndex.
    const auto next =
        current < 0 ? records_.begin() : records_.upper_bound(static_cast<std::uint32_t>(current));
    if (current >= static_cast<std::int64_t>(maxIndex) || next == records_.end() ||
        next->first > maxIndex) {
        if (current < static_cast<std::int64_t>(maxIndex)) {
            setMaxKeyOnEnd();
        }
        status = endStatus(*this);
        return SendResult::End;
    }
    unpackRecord(next->second);
    setKey(static_cast<std::int32_t>(next->first));
    if (next->first > rangeHigh()) {
        status = endStatus(*this);
        return SendResult::End;
    }
    handler_support::appendRecord(*this, record);
    status = recordStatus(*this, key());
    return SendResult::More;
}

void KeyedTable::prepareReceive(int) {}

void KeyedTable::clearRecords() {
    records_.clear();
}

bool KeyedTable::exportCsv(const std::string& directory) {
    if (records_.empty()) {
        return true;
    }
    CsvOutputFile out;
    if (!openCsvForWrite(out, directory, 0)) {
        return false;
    }
    const std::uint32_t maxIndex = description().maxIndex;
    for (auto it = records_.lower_bound(1); it != records_.end() && it->first <= maxIndex; ++it) {
        writeCsvLine(out, it->second, static_cast<std::int32_t>(it->first));
    }
    return out.commit();
}

void KeyedTable::importCsv(const std::string& directory) {
    clearRecords();
    clearImportProblems();
    CsvInputFile in;
    ColumnMap map;
    const int opened = openCsvForRead(in, map, directory, 0);
    if (opened == 0) {
        throw CTableExceptions(1);
    }
    if (opened < 0) {
        return;  // noted: the file exists but cannot be read
    }
    const std::uint32_t maxIndex = description().maxIndex;
    // A file without key column numbers its lines from 1.
    setKey(1);
    while (readCsvLine(in, map)) {
        // A key field that names no key from 1 to maxIndex is noted (the job reports it and
        // sends nothing); the line is not stored.
        if (!noteImportedKey(maxIndex)) {
            continue;
        }
        const std::int32_t k = key();
        // A negative key compares as a huge unsigned number: neither stored nor followed.
        if (k < 0) {
            continue;
        }
        const auto stored = static_cast<std::uint32_t>(k);
        if (stored <= maxIndex) {
            handler_support::logRepeatedKey(*this, in, records_.count(stored) != 0, k);
            storeRecord(stored);
        } else {
            handler_support::logKeyAboveMaxIndex(*this, in, k);
        }
        if (k < std::numeric_limits<std::int32_t>::max()) {
            setKey(k + 1);
        }
    }
}

void KeyedTable::findInvalidValues(std::vector<InvalidValue>& out) {
    CsvTable::findInvalidValues(out);
    const std::uint32_t last = std::min(rangeHigh(), description().maxIndex);
    for (auto it = records_.lower_bound(rangeLow()); it != records_.end() && it->first <= last;
         ++it) {
        unpackRecord(it->second);
        setKey(static_cast<std::int32_t>(it->first));
        collectInvalidTexts(key(), out);
    }
}
