#pragma once

#include <cstdint>

#include "dictionary/attribute_value.h"

// The lines of a multi-line text (value type 4). Each line is a column whose text starts with
// a format digit '0'..'8'; on the wire every line forms its own group: sign, line number
// ('1' for the first line), format digit, raw text, ETB. Lines are translated with
// g_charTranslation when one is loaded.
class TextLinesValue : public AttributeValue {
  public:
    TextLinesValue(std::uint8_t busSign, std::string* slots, std::uint32_t lineCount)
        : AttributeValue(busSign, {}), slots_(slots), lineCount_(lineCount) {}

    void setText(const std::string& text) override;
    void setField(std::uint32_t index, const std::string& text) override;
    void writeCsv(std::string& out) const override;
    // Reads consecutive line groups of this attribute. A line ends at ETB, at ETX (the end of
    // a received record) or at the end of the record; the lines after the last group keep
    // their texts.
    int decode(const std::string& record, std::size_t& pos, std::size_t length) override;
    // An empty line goes as format digit '0'; a line that does not start with '0'..'8' gets the
    // format digit '2' in front.
    void encode(std::string& out) override;
    // Any line without ETB or ETX (the line is sent raw).
    bool isValidText(const std::string& text) const override;

    std::uint32_t lineCount() const { return lineCount_; }

  private:
    std::string* slots_;
    std::uint32_t lineCount_;
};
