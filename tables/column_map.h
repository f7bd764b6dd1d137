#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TableDescription;

// Which attribute each column of a CSV file belongs to, read from the file's heading line.
// Lets a user reorder, drop or add columns: the heading decides, not the position.
class ColumnMap {
  public:
    static constexpr std::int32_t kNoAttribute = -1;
    static constexpr std::int32_t kEnd = -2;

    // Splits `heading` at ";" (runs of ";" count as one, as C strtok splits) and matches the
    // first word of each field, at most four characters after leading blanks, with the
    // attributes' fileSigns (byte for byte, first match in table order). A multi-field
    // column "CCCC002" thus maps to attribute CCCC, whatever its number. False when the line
    // holds no field.
    bool build(const std::string& heading, const TableDescription& description);

    // The number of columns.
    std::size_t size() const { return entries_.size() - 1; }
    // The attribute index of column c, kNoAttribute when its heading matches none, kEnd for
    // c at or beyond size().
    std::int32_t at(std::size_t c) const { return c < entries_.size() ? entries_[c] : kEnd; }
    // The heading of column c as the file has it.
    const std::string& heading(std::size_t c) const { return headings_.at(c); }

  private:
    std::vector<std::int32_t> entries_{kEnd};
    std::vector<std::string> headings_;
};
