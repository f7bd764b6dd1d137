#pragma once

#include <cstdint>

#include "dictionary/attribute_value.h"
#include "dictionary/value_codec.h"

// A numeric or text attribute of one or more fields (value types 0, 1, 2, 5 and 6), coded with
// the byte coding in one of the value modes. A value of several fields ends each field with
// RS inside its group: sign, field, RS, field, RS, ..., ETB.
class EncodedValue : public AttributeValue {
  public:
    // `fieldWidth`: the bytes one field takes on the scale (0: not known). A binary number that
    // needs more bytes is not a valid text.
    EncodedValue(std::uint8_t busSign, std::string fileSign, std::string* slots,
                 std::uint32_t fieldCount, ValueMode mode, std::uint32_t fieldWidth = 0)
        : AttributeValue(busSign, std::move(fileSign)),
          slots_(slots),
          fieldCount_(fieldCount),
          fieldWidth_(fieldWidth),
          mode_(mode) {}

    // Fills the slots in column order; columns beyond fieldCount are ignored.
    void setText(const std::string& text) override;
    void setField(std::uint32_t index, const std::string& text) override;
    // All fieldCount slot texts, whatever setText filled.
    void writeCsv(std::string& out) const override;
    // A field that cannot be read keeps its text and makes the result 0; the fields after it
    // are still read. Fields after the last one the record carries keep their texts.
    int decode(const std::string& record, std::size_t& pos, std::size_t length) override;
    void encode(std::string& out) override;
    bool isValidText(const std::string& text) const override;

    ValueMode mode() const { return mode_; }
    std::uint32_t fieldCount() const { return fieldCount_; }
    std::uint32_t fieldWidth() const { return fieldWidth_; }

  private:
    std::string* slots_;
    std::uint32_t fieldCount_;
    std::uint32_t fieldWidth_;
    ValueMode mode_;
};
