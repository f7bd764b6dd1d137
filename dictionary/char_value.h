#pragma once

#include "dictionary/attribute_value.h"

// A single character (value type 3), sent as its raw byte without coding or translation.
class CharValue : public AttributeValue {
  public:
    CharValue(std::uint8_t busSign, std::string* slot) : AttributeValue(busSign, {}), slot_(slot) {}

    void setText(const std::string& text) override;
    void writeCsv(std::string& out) const override;
    // Takes the one byte at `pos`. ETB or ETX there means an empty value (the byte is left for
    // the record's framing); at the end of the record the slot stays unchanged and the result
    // is 0.
    int decode(const std::string& record, std::size_t& pos, std::size_t length) override;
    void encode(std::string& out) override;
    // Empty, or one byte that is not ETB or ETX (which would break the record's framing).
    bool isValidText(const std::string& text) const override;

  private:
    std::string* slot_;
};
