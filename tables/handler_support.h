#pragma once

#include <cstdint>
#include <string>

#include "tables/csv_table.h"

class CsvInputFile;

namespace handler_support {

// The last scale number for which tables are kept per scale (0 to 10).
constexpr int kLastScaleNumber = 10;

// Appends the record as the scale receives it: the table's busSign, ETB, then the encoded
// current record.
void appendRecord(Table& table, std::string& record);

// "NAME: " and the key right-aligned in four places, as the status line shows a record.
std::string recordStatus(const Table& table, std::int32_t key);
// "End NAME", shown when a table's records are through.
std::string endStatus(const Table& table);

// Log lines of an import: a key that an earlier line of the file had (this line replaces
// that record), and a line numbered on beyond the table's highest key (not stored).
void logRepeatedKey(const Table& table, const CsvInputFile& in, bool repeated, std::int32_t key);
void logKeyAboveMaxIndex(const Table& table, const CsvInputFile& in, std::int32_t key);

// Gives the entries of `values` from index `first` on the scale number of the file they came
// from.
void markScale(std::vector<InvalidValue>& values, std::size_t first, int scaleNumber);

}  // namespace handler_support
