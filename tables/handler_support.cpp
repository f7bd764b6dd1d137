#include "tables/handler_support.h"

#include <cstdio>

#include "dictionary/value_codec.h"

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

void markScale(std::vector<InvalidValue>& values, std::size_t first, int scaleNumber) {
    for (std::size_t i = first; i < values.size(); ++i) {
        values[i].scale = scaleNumber;
    }
}

}  // namespace handler_support
