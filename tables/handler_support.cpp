#include "tables/handler_support.h"

#include <cstdio>

#include "diag/job_log.h"
#include "dictionary/value_codec.h"
#include "tables/csv_files.h"

namespace handler_support {

void appendRecord(Table& table, std::string& record) {
    record.push_back(static_cast<char>(table.busSign()));
    record.push_back(record_bytes::kEtb);
    table.layout().encodeRecord(record);
}

std::string recordStatus(const Table& table, std::int32_t key) {
    char number[16];
    std::snprintf(number, sizeof number, "%4d", static_cast<int>(key));
    return table.name() + ": " + number;
}

std::string endStatus(const Table& table) {
    return "End " + table.name();
}

void logRepeatedKey(const Table& table, const CsvInputFile& in, bool repeated, std::int32_t key) {
    if (repeated && g_log != nullptr) {
        g_log->add(in.path() + ", line " + std::to_string(in.lineNumber()) + ": key " +
                   std::to_string(key) + " of table " + table.fileSign() +
                   " was on an earlier line too: this line replaces that record");
    }
}

void logKeyAboveMaxIndex(const Table& table, const CsvInputFile& in, std::int32_t key) {
    if (g_log != nullptr) {
        g_log->add(in.path() + ", line " + std::to_string(in.lineNumber()) + ": key " +
                   std::to_string(key) + " lies above the highest key " +
                   std::to_string(table.description().maxIndex) + " of table " + table.fileSign() +
                   ": not stored");
    }
}

void markScale(std::vector<InvalidValue>& values, std::size_t first, int scaleNumber) {
    for (std::size_t i = first; i < values.size(); ++i) {
        values[i].scale = scaleNumber;
    }
}

}  // namespace handler_support
