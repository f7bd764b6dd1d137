#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The representation of one attribute inside a table object: how its value looks as CSV
// column texts, as bytes inside a record exchanged with the scale, and as text slots of the
// table's current record. A value object owns no text: it points into its table's slots (or at
// its table's key) and is created and owned by the table's RecordLayout.
class AttributeValue {
  public:
    AttributeValue(std::uint8_t busSign, std::string code)
        : code_(std::move(code)), busSign_(busSign) {}
    virtual ~AttributeValue() = default;
    AttributeValue(const AttributeValue&) = delete;
    AttributeValue& operator=(const AttributeValue&) = delete;

    // Takes one CSV column text as the value's next column.
    virtual void setText(const std::string& text);
    // Takes one CSV column text as the value's field `index` (from 0), whatever the columns
    // before; an index outside the value's fields is ignored. Where a value has one field,
    // the same as setText.
    virtual void setField(std::uint32_t index, const std::string& text);
    // Appends the value's columns to `out`, each followed by ";".
    virtual void writeCsv(std::string& out) const;
    // Reads the value from `record`, `pos` standing just after the attribute's bus sign; never
    // looks at a byte at or after `length`. Leaves `pos` on the first byte not consumed.
    // Returns 1 on success, 0 when the value could not be read (the slots then keep texts
    // that were not read).
    virtual int decode(const std::string& record, std::size_t& pos, std::size_t length) = 0;
    // Appends the attribute's group(s) to `out`: bus sign, value bytes, ETB.
    virtual void encode(std::string& out) = 0;
    // Restarts the column count, so that the next setText fills the first column again.
    virtual void clear();
    // Whether `text` is a column text this value can send as it stands. Every text that
    // decode leaves in a slot is valid; a job refuses a file with an invalid text before
    // anything is sent.
    virtual bool isValidText(const std::string& text) const;

    std::uint8_t busSign() const { return busSign_; }
    // The attribute's fileSign where the class keeps it, else empty.
    const std::string& code() const { return code_; }
    // Columns taken by setText since the last clear.
    std::uint32_t fillCount() const { return fillCount_; }

  protected:
    void appendGroupStart(std::string& out) const { out.push_back(static_cast<char>(busSign_)); }

    std::uint32_t fillCount_ = 0;

  private:
    std::string code_;
    std::uint8_t busSign_;
};
