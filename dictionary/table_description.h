#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "dictionary/attribute_description.h"

// The table type of a description: which handler class keeps the table's records. Any other
// number is no valid table.
enum class TableType : std::uint8_t {
    None = 0,           // not a valid table
    SingleRecord = 1,   // at most one record, no key
    Keyed = 2,          // records by key
    Article = 3,        // records by key: the article table, selected with a key range
    PerScale = 4,       // at most one record per scale number
    PerScaleKeyed = 5,  // records by scale number and key
};

// One scale table as the scale's TDES meta-table describes it, with its attributes in wire and
// CSV order. A plain value: every table object keeps its own copy.
struct TableDescription {
    static constexpr std::size_t kMaxAttributes = 100;

    // Four-letter code; names the CSV file and the table in the job string.
    std::string fileSign;
    // Tag of a record of this table on the wire; 80h and above marks a configuration table.
    std::uint8_t busSign = 0;
    TableType tableType = TableType::None;
    std::string name;
    std::uint32_t minIndex = 0;
    std::uint32_t maxIndex = 0;
    // Valid entries at the front of `attributes`; the rest stay empty.
    std::uint8_t attributeCount = 0;
    std::array<AttributeDescription, kMaxAttributes> attributes{};
};

// The built-in descriptions that let the PC read the scale's two meta-tables before it knows
// anything else about the scale.
TableDescription tdesDescription();
TableDescription adesDescription();
