#pragma once

#include <cstdint>

#include "dictionary/attribute_value.h"

// A string of decimal digits (value type 9), sent as raw ASCII digits padded in front with
// '0' to the attribute's byte count. Its column text carries no leading zeros.
class DigitStringValue : public AttributeValue {
  public:
    DigitStringValue(std::uint8_t busSign, std::string fileSign, std::string* slot,
                     std::uint32_t width)
        : AttributeValue(busSign, std::move(fileSign)), slot_(slot), width_(width) {}

    void setText(const std::string& text) override;
    void writeCsv(std::string& out) const override;
    // Takes the raw bytes up to ETB, ETX or the end of the record, without leading '0's;
    // nothing left gives "0".
    int decode(const std::string& record, std::size_t& pos, std::size_t length) override;
    // Removes the blanks from the slot text itself, then sends it padded to the width; a
    // longer text goes whole.
    void encode(std::string& out) override;
    // Decimal digits (blanks aside), at most width of them; the empty text too.
    bool isValidText(const std::string& text) const override;

    std::uint32_t width() const { return width_; }

  private:
    std::string* slot_;
    std::uint32_t width_;
};
