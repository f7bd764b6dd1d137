#include "tables/per_scale_table.h"

#include "tables/column_map.h"
#include "tables/csv_files.h"
#include "tables/ctable_exceptions.h"
#include "tables/handler_support.h"

void PerScaleTable::startSending(int) {}

SendResult PerScaleTable::storeReceived(std::string& status, int scaleNumber,
                                        const std::string& record) {
    status.clear();
    clearRecord();
    layout().decodeRecord(record);
    records_[static_cast<std::uint32_t>(scaleNumber)] = packRecord();
    return SendResult::Only;
}

SendResult PerScaleTable::nextToSend(std::string& status, int scaleNumber, std::string& record) {
    status.clear();
    const auto found = records_.find(static_cast<std::uint32_t>(scaleNumber));
    if (found == records_.end()) {
        return SendResult::Nothing;
    }
    unpackRecord(found->second);
    handler_support::appendRecord(*this, record);
    return SendResult::Only;
}

void PerScaleTable::prepareReceive(int) {}

void PerScaleTable::clearRecords() {
    records_.clear();
}

bool PerScaleTable::exportCsv(const std::string& directory) {
    bool complete = true;
    for (const auto& entry : records_) {
        if (entry.first > static_cast<std::uint32_t>(handler_support::kLastScaleNumber)) {
            break;
        }
        unpackRecord(entry.second);
        CsvOutputFile out;
        if (!openCsvForWrite(out, directory, static_cast<int>(entry.first))) {
            complete = false;
            continue;
        }
        writeCsvLine(out);
        complete = out.commit() && complete;
    }
    return complete;
}

void PerScaleTable::importCsv(const std::string& directory) {
    clearRecords();
    clearImportProblems();
    bool anyFile = false;
    for (int n = 0; n <= handler_support::kLastScaleNumber; ++n) {
        CsvInputFile in;
        ColumnMap map;
        const std::size_t unconvertibleBefore = unconvertible_.size();
        const std::size_t invalidKeysBefore = invalidKeys_.size();
        const std::size_t fileProblemsBefore = fileProblems_.size();
        const int opened = openCsvForRead(in, map, directory, n);
        if (opened != 0) {
            anyFile = true;
        }
        if (opened > 0 && readCsvLine(in, map)) {
            records_[static_cast<std::uint32_t>(n)] = packRecord();
        }
        handler_support::markScale(unconvertible_, unconvertibleBefore, n);
        handler_support::markScale(invalidKeys_, invalidKeysBefore, n);
        handler_support::markScale(fileProblems_, fileProblemsBefore, n);
    }
    if (!anyFile) {
        throw CTableExceptions(1);
    }
}

void PerScaleTable::findInvalidValues(std::vector<InvalidValue>& out) {
    CsvTable::findInvalidValues(out);
    for (const auto& entry : records_) {
        unpackRecord(entry.second);
        const std::size_t before = out.size();
        collectInvalidTexts(key(), out);
        for (std::size_t i = before; i < out.size(); ++i) {
            out[i].scale = static_cast<std::int32_t>(entry.first);
        }
    }
}
