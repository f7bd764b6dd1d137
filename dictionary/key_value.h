#pragma once

#include <cstdint>

#include "dictionary/attribute_value.h"

// The record key of a table (value types 7, 8 and 10). Works on the table's key integer and
// owns no slot; its CSV column is the key as a decimal number.
class KeyValue : public AttributeValue {
  public:
    enum class Mode : std::uint8_t {
        PackedDigits = 0,  // type 7: the decimal digits packed two per byte
        Binary = 1,        // type 8: the key's binary value
        FourDigits = 2,    // type 10: four raw ASCII digits, no byte coding
    };

    KeyValue(std::uint8_t busSign, std::int32_t& key, Mode mode)
        : AttributeValue(busSign, {}), key_(key), mode_(mode) {}

    void setText(const std::string& text) override;
    void writeCsv(std::string& out) const override;
    int decode(const std::string& record, std::size_t& pos, std::size_t length) override;
    void encode(std::string& out) override;
    // Empty (key 0), or a decimal number in the range of the key, blanks around it allowed.
    bool isValidText(const std::string& text) const override;

    Mode mode() const { return mode_; }

  private:
    std::int32_t& key_;
    Mode mode_;
};
