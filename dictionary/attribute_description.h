#pragma once

#include <cstdint>
#include <string>

// The value type of an attribute, the low byte of its flags: which value class represents the
// attribute and how its texts look on the wire.
enum class ValueType : std::uint8_t {
    Digits = 0,          // hexadecimal (or BCD) digits, packed two per byte
    Number = 1,          // as Digits, or a binary number when flagged kSentAsBinary
    ShiftedDigits = 2,   // digits with one extra 0 digit on the wire
    Character = 3,       // one character, sent as it stands
    TextLines = 4,       // one text per line, each line its own group on the wire
    PlainText = 5,       // a text, coded byte by byte
    TranslatedText = 6,  // a text that passes the character translation
    DigitsKey = 7,       // the record key as packed decimal digits
    BinaryKey = 8,       // the record key as a binary number
    DigitString = 9,     // decimal digits as raw characters, padded to the byte count
    FourDigitKey = 10,   // the record key as four raw decimal digits
};

// Types 7, 8 and 10: the value is the table's record key.
constexpr bool isKeyType(ValueType type) {
    return type == ValueType::DigitsKey || type == ValueType::BinaryKey ||
           type == ValueType::FourDigitKey;
}

// One attribute (column) of a scale table, as the scale's ADES meta-table describes it. A plain
// value: copied freely, every table keeps its own copies inside its TableDescription.
struct AttributeDescription {
    // Bits of `flags` beside the value type in the low byte.
    static constexpr std::uint32_t kTypeMask = 0xFF;
    static constexpr std::uint32_t kSentAsBinary = 0x100;  // a type-1 value goes as a binary number
    static constexpr std::uint32_t kHeadingsFromZero = 0x200;   // CSV column numbers start at 000
    static constexpr std::uint32_t kNeverSentToScale = 0x8000;  // the whole table stays on the PC

    // Four-letter code; heads the attribute's CSV column(s) and is the key of attribute lookups.
    std::string fileSign;
    // Tag that introduces the attribute's value inside a record on the wire (20h..FFh).
    std::uint8_t busSign = 0;
    // Number of text slots (CSV columns) the attribute occupies; 0 for keys of types 7 and 8.
    std::uint32_t fieldCount = 0;
    // Number of bytes the value takes on the scale (12 bits used).
    std::uint32_t byteCount = 0;
    // Value type in the low byte and the bits above; bits not named here are carried unread.
    std::uint32_t flags = 0;
    // Readable name, written as the second heading line of the CSV file.
    std::string name;

    // The value type (a number above 10 makes the table's layout incomplete).
    ValueType valueType() const { return static_cast<ValueType>(flags & kTypeMask); }
    bool sentAsBinary() const { return (flags & kSentAsBinary) != 0; }
    bool headingsFromZero() const { return (flags & kHeadingsFromZero) != 0; }
    bool neverSentToScale() const { return (flags & kNeverSentToScale) != 0; }

    // Sets byteCount and fieldCount from an ADES size code: bits 0..11 are the byte count,
    // bits 12..15 the field size. Type 4 takes the field size as its line count, keys of
    // types 7 and 8 own no field, types 3, 9 and 10 always own one, every other type
    // byteCount / size fields (1 when the size is 0).
    // `flags` must already hold the value type.
    void setSizeCode(std::uint32_t code);
};
