#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dictionary/attribute_value.h"
#include "dictionary/key_value.h"
#include "dictionary/value_codec.h"

class ColumnMap;

// The value objects of one table, one entry per attribute in attribute order (an entry stays
// empty when the layout builder stopped before it). Splits a record received from the scale
// into the table's current record and assembles the current record into the bytes the scale
// receives. Owned by its table; the value objects point into that table's key and slots.
class RecordLayout {
  public:
    explicit RecordLayout(std::size_t count) : values_(count) {}
    virtual ~RecordLayout() = default;
    RecordLayout(const RecordLayout&) = delete;
    RecordLayout& operator=(const RecordLayout&) = delete;

    // Each factory stores a new value object as entry i and returns true; false, creating
    // nothing, when i is not below count().
    bool addKey(std::size_t i, std::uint8_t busSign, std::int32_t& key, KeyValue::Mode mode);
    bool addEncoded(std::size_t i, std::uint8_t busSign, const std::string& fileSign,
                    std::string* firstSlot, std::uint32_t fieldCount, ValueMode mode,
                    std::uint32_t fieldWidth = 0);
    bool addChar(std::size_t i, std::uint8_t busSign, std::string* slot);
    bool addTextLines(std::size_t i, std::uint8_t busSign, std::string* firstSlot,
                      std::uint32_t lineCount);
    bool addDigitString(std::size_t i, std::uint8_t busSign, const std::string& fileSign,
                        std::string* slot, std::uint32_t width);

    // Reads a record as the scale sends it: header bytes up to the first ETB, then groups of
    // bus sign, value bytes and ETB, ended by ETX (and, on a received frame, the check byte
    // after it). Each group goes to the first value with its bus sign, in any order; groups
    // whose sign no value has are skipped, and so is whatever a value leaves of its group.
    // Reading stops at ETX or at the end of the record; nothing is read beyond either.
    // A value that cannot be read keeps its texts.
    void decodeRecord(const std::string& record);
    // False when a value of the record last decoded could not be read.
    bool lastDecodeComplete() const { return lastDecodeComplete_; }
    // Appends every present value's groups in layout order.
    void encodeRecord(std::string& out);
    // Restarts the column count of every value (before each CSV line).
    void clearValues();
    // Appends the current record as one CSV data line: every value's columns separated by
    // ";" (no ";" after the last column), then CR LF.
    void writeCsvRecord(std::string& out) const;
    // Hands the fields of one data line to the values the map names for their columns, in
    // column order; every ";" separates two fields, so empty fields (also a last one after a
    // final ";") arrive as empty texts. Columns the map does not name, and fields beyond the
    // last column, are skipped; values without a field keep their texts.
    void readCsvRecord(const std::string& line, const ColumnMap& map);

    std::size_t count() const { return values_.size(); }
    // Entry i, or null when it is empty or i is out of range.
    AttributeValue* valueAt(std::size_t i) const {
        return i < values_.size() ? values_[i].get() : nullptr;
    }

  private:
    bool store(std::size_t i, std::unique_ptr<AttributeValue> value);
    AttributeValue* findByBusSign(std::uint8_t sign) const;

    std::vector<std::unique_ptr<AttributeValue>> values_;
    bool lastDecodeComplete_ = true;
};
