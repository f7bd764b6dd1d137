#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/table_description.h"

namespace table_test {

struct Attr {
    std::string sign;
    std::uint8_t bus;
    std::uint32_t fieldCount;
    std::uint32_t byteCount;
    std::uint32_t flags;
    std::string name;
};

// A description with the given attributes, index range 1..maxIndex.
inline TableDescription describe(const std::string& sign, std::uint8_t bus, std::uint8_t type,
                                 std::uint32_t maxIndex, const std::vector<Attr>& attributes,
                                 const std::string& name = "NAME") {
    TableDescription d;
    d.fileSign = sign;
    d.busSign = bus;
    d.tableType = static_cast<TableType>(type);
    d.name = name;
    d.minIndex = 1;
    d.maxIndex = maxIndex;
    d.attributeCount = static_cast<std::uint8_t>(attributes.size());
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        AttributeDescription& a = d.attributes[i];
        a.fileSign = attributes[i].sign;
        a.busSign = attributes[i].bus;
        a.fieldCount = attributes[i].fieldCount;
        a.byteCount = attributes[i].byteCount;
        a.flags = attributes[i].flags;
        a.name = attributes[i].name;
    }
    return d;
}

// A key (binary, type 8) and one plain-text column.
inline TableDescription keyAndText(const std::string& sign = "AAAA", std::uint8_t bus = 0x41,
                                   std::uint8_t type = 2, std::uint32_t maxIndex = 255) {
    return describe(sign, bus, type, maxIndex,
                    {{"KEYN", 0x61, 0, 2, 8, "KEY"}, {"TEXT", 0x62, 1, 20, 5, "TEXT"}});
}

// Every value type 0..10 but 7 and 10 (a table has one key), a multi-field column and
// text lines: 14 columns.
inline TableDescription everyType(const std::string& sign, std::uint8_t bus, std::uint8_t type) {
    return describe(sign, bus, type, 9999,
                    {{"ANUM", 0x61, 0, 4, 7, "NUMBER"},
                     {"HEXA", 0x62, 1, 2, 0, "HEX"},
                     {"BCDN", 0x63, 1, 3, 1, "BCD"},
                     {"BINN", 0x64, 1, 2, 0x101, "BINARY"},
                     {"SHFT", 0x65, 1, 3, 2, "SHIFTED"},
                     {"CHAR", 0x66, 1, 1, 3, "CHARACTER"},
                     {"LINE", 0x67, 3, 0x3060, 4, "TEXT LINES"},
                     {"PTXT", 0x68, 1, 25, 5, "PLAIN"},
                     {"TTXT", 0x69, 1, 25, 6, "TRANSLATED"},
                     {"DIGS", 0x6A, 1, 6, 9, "DIGITS"},
                     {"PRIC", 0x6B, 3, 9, 0x200, "PRICES"}});
}

}  // namespace table_test
