#pragma once

#include <cstdint>
#include <string>

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

    // The value type 0..10 (any other value makes the table's layout incomplete).
    std::uint8_t valueType() const { return static_cast<std::uint8_t>(flags & kTypeMask); }
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
