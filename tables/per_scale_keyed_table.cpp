#include "tables/per_scale_keyed_table.h"

#include <algorithm>

#include "diag/job_log.h"
#include "tables/column_map.h"
#include "tables/csv_files.h"
#include "tables/ctable_exceptions.h"
#include "tables/handler_support.h"

namespace {

constexpr std::uint32_t kScaleFactor = 65536;

std::uint32_t combinedKey(int scaleNumber, std::int32_t key) {
    return static_cast<std::uint32_t>(scaleNumber) * kScaleFactor + static_cast<std::uint32_t>(key);
}

}  // namespace

void PerScaleKeyedTable::selectScale(int scaleNumber) {
    records_.clear();
    const std::uint32_t maxIndex = description().maxIndex;
    const auto scale = static_cast<std::uint32_t>(scaleNumber);
    // The entries of scale s are those whose key divided by 65536 is s: one contiguous run.
    auto it = allScaleRecords_.lower_bound(scale * kScaleFactor);
    for (; it != allScaleRecords_.end() && it->first / kScaleFactor == scale; ++it) {
        const std::uint32_t key = it->first % kScaleFactor;
        if (key <= maxIndex) {
            records_.emplace_hint(records_.end(), key, it->second);
        }
    }
}

void PerScaleKeyedTable::startSending(int scaleNumber) {
    selectScale(scaleNumber);
    KeyedTable::startSending(scaleNumber);
}

SendResult PerScaleKeyedTable::storeReceived(std::string& status, int scaleNumber,
                                             const std::string& record) {
    clearRecord();
    layout().decodeRecord(record);
    status = handler_support::recordStatus(*this, key());
    // Each scale owns 65536 keys of the combined store: a key outside 0..65535 would be filed
    // (and later written and sent) under another scale number.
    if (key() < 0 || key() >= static_cast<std::int32_t>(kScaleFactor)) {
        if (g_log != nullptr) {
            g_log->add(fileSign() + " (number " + std::to_string(scaleNumber) + "): record key " +
                       std::to_string(key()) +
                       " lies outside 0..65535 and cannot be kept per scale: not stored");
        }
        return SendResult::More;
    }
    storeRecord(static_cast<std::uint32_t>(key()));
    storeInto(allScaleRecords_, combinedKey(scaleNumber, key()), *this);
    return SendResult::More;
}

void PerScaleKeyedTable::clearRecords() {
    KeyedTable::clearRecords();
    allScaleRecords_.clear();
}

bool PerScaleKeyedTable::exportCsv(const std::string& directory) {
    bool complete = true;
    const std::uint32_t maxIndex = description().maxIndex;
    for (int s = 0; s <= handler_support::kLastScaleNumber; ++s) {
        selectScale(s);
        auto it = records_.lower_bound(1);
        if (it == records_.end() || it->first > maxIndex) {
            continue;
        }
        CsvOutputFile out;
        if (!openCsvForWrite(out, directory, s)) {
            complete = false;
            continue;
        }
        for (; it != records_.end() && it->first <= maxIndex; ++it) {
            writeCsvLine(out, it->second, static_cast<std::int32_t>(it->first));
        }
        complete = out.commit() && complete;
    }
    return complete;
}

void PerScaleKeyedTable::importCsv(const std::string& directory) {
    clearRecords();
    clearImportProblems();
    bool anyFile = false;
    const std::uint32_t highestKey = std::min(description().maxIndex, kScaleFactor - 1);
    for (int s = 0; s <= handler_support::kLastScaleNumber; ++s) {
        CsvInputFile in;
        ColumnMap map;
        const std::size_t unconvertibleBefore = unconvertible_.size();
        const std::size_t invalidKeysBefore = invalidKeys_.size();
        const std::size_t fileProblemsBefore = fileProblems_.size();
        const int opened = openCsvForRead(in, map, directory, s);
        if (opened != 0) {
            anyFile = true;
        }
        bool anyLine = false;
        // A file without key column numbers its lines from 1.
        setKey(1);
        while (opened > 0 && readCsvLine(in, map)) {
            // Each scale owns 65536 keys of the combined store: a key outside 0..65535 would be
            // filed (and later sent) under another scale. Such a key, like any key outside
            // 1..maxIndex, is noted and its line skipped.
            if (!noteImportedKey(highestKey)) {
                continue;
            }
            const std::int32_t k = key();
            if (k < 0) {
                continue;
            }
            if (static_cast<std::uint32_t>(k) > highestKey) {
                handler_support::logKeyAboveMaxIndex(*this, in, k);
            } else {
                handler_support::logRepeatedKey(*this, in,
                                                allScaleRecords_.count(combinedKey(s, k)) != 0, k);
                storeInto(allScaleRecords_, combinedKey(s, k), *this);
                anyLine = true;
            }
            setKey(k + 1);
        }
        // Selecting once after the file's last line leaves what selecting after every line
        // would: the working store depends only on allScaleRecords at the last selection.
        if (anyLine) {
            selectScale(s);
        }
        handler_support::markScale(unconvertible_, unconvertibleBefore, s);
        handler_support::markScale(invalidKeys_, invalidKeysBefore, s);
        handler_support::markScale(fileProblems_, fileProblemsBefore, s);
    }
    if (!anyFile) {
        throw CTableExceptions(1);
    }
}

void PerScaleKeyedTable::findInvalidValues(std::vector<InvalidValue>& out) {
    CsvTable::findInvalidValues(out);
    const std::uint32_t last = std::min(rangeHigh(), description().maxIndex);
    for (const auto& entry : allScaleRecords_) {
        const std::uint32_t recordKey = entry.first % kScaleFactor;
        if (recordKey < rangeLow() || recordKey > last) {
            continue;
        }
        unpackRecord(entry.second);
        setKey(static_cast<std::int32_t>(recordKey));
        const std::size_t before = out.size();
        collectInvalidTexts(key(), out);
        for (std::size_t i = before; i < out.size(); ++i) {
            out[i].scale = static_cast<std::int32_t>(entry.first / kScaleFactor);
        }
    }
}
