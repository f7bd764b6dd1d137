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
    // The field of a column whose heading carries no field number: the attribute's next one.
    static constexpr std::int32_t kNextField = -1;

    // Splits `heading` at every ";" (an empty field is a column too; empty fields at the end
    // of the line are not columns) and matches the first word of each field with the
    // attributes' fileSigns: its first four characters, byte for byte, else ignoring ASCII
    // letter case (first match in table order each time). A column of an attribute with
    // several fields whose heading goes on with a three-digit number ("CCCC002") takes that
    // field (numbered from 000 or from 001, as the headings are written); a number outside
    // the attribute's fields makes it a column of no attribute. Other headings take the
    // attribute's fields in column order. False when the line holds no field.
    bool build(const std::string& heading, const TableDescription& description);

    // The number of columns.
    std::size_t size() const { return entries_.size() - 1; }
    // The attribute index of column c, kNoAttribute when its heading matches none, kEnd for
    // c at or beyond size().
    std::int32_t at(std::size_t c) const { return c < entries_.size() ? entries_[c] : kEnd; }
    // The field of its attribute that column c fills (from 0), or kNextField.
    std::int32_t field(std::size_t c) const { return c < fields_.size() ? fields_[c] : kNextField; }
    // The heading of column c as the file has it.
    const std::string& heading(std::size_t c) const { return headings_.at(c); }
    // Whether some column belongs to an attribute.
    bool anyAttribute() const;

  private:
    std::vector<std::int32_t> entries_{kEnd};
    std::vector<std::int32_t> fields_;
    std::vector<std::string> headings_;
};
