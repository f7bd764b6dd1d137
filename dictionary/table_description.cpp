#include "dictionary/table_description.h"

#include <initializer_list>

namespace {

struct AttributeRow {
    const char* fileSign;
    std::uint8_t busSign;
    std::uint32_t fieldCount;
    std::uint32_t byteCount;
    std::uint32_t flags;
    const char* name;
};

TableDescription makeDescription(const char* fileSign, std::uint8_t busSign, const char* name,
                                 std::uint32_t maxIndex, std::initializer_list<AttributeRow> rows) {
    TableDescription description;
    description.fileSign = fileSign;
    description.busSign = busSign;
    description.tableType = 2;
    description.name = name;
    description.minIndex = 1;
    description.maxIndex = maxIndex;
    for (const AttributeRow& row : rows) {
        AttributeDescription& attribute = description.attributes[description.attributeCount++];
        attribute.fileSign = row.fileSign;
        attribute.busSign = row.busSign;
        attribute.fieldCount = row.fieldCount;
        attribute.byteCount = row.byteCount;
        attribute.flags = row.flags;
        attribute.name = row.name;
    }
    return description;
}

}  // namespace

TableDescription tdesDescription() {
    return makeDescription("TDES", 0x7E, "TABLE-DESCRIPTION", 255,
                           {{"TANU", 0x61, 0, 2, 8, "INDEX"},
                            {"TFSG", 0x62, 1, 4, 5, "CSV FILE"},
                            {"TBSG", 0x63, 1, 1, 1, "BUS SIGN"},
                            {"TATY", 0x64, 1, 1, 1, "TABLE TYPE"},
                            {"TANE", 0x65, 1, 25, 5, "TABLE NAME"},
                            {"TIMA", 0x66, 1, 2, 1, "MAX INDEX"}});
}

TableDescription adesDescription() {
    return makeDescription("ADES", 0x7F, "ATTRIBUT-DESCRIPTION", 9999,
                           {{"ATNU", 0x61, 0, 2, 8, "INDEX"},
                            {"TFSG", 0x62, 1, 4, 5, "CSV FILE"},
                            {"AFSG", 0x63, 1, 4, 5, "ATT SIGN"},
                            {"ABSG", 0x64, 1, 1, 1, "BUS SIGN"},
                            {"ATNB", 0x65, 1, 2, 1, "NR BYTES-FIELDS"},
                            {"ATFG", 0x66, 1, 2, 1, "FLAGS"},
                            {"ATFT", 0x67, 1, 25, 5, "ATT NAME"}});
}
