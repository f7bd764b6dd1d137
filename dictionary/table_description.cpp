#include "dictionary/table_description.h"

#include <initializer_list>

namespace {

struct AttributeRow {
    const char* fileSign;
    std::uint8_t busSign;
    std::uint32_t fieldCount;
    std::uint32_t byteCount;
    ValueType type;
    const char* name;
};

TableDescription makeDescription(const char* fileSign, std::uint8_t busSign, const char* name,
                                 std::uint32_t maxIndex, std::initializer_list<AttributeRow> rows) {
    TableDescription description;
    description.fileSign = fileSign;
    description.busSign = busSign;
    description.tableType = TableType::Keyed;
    description.name = name;
    description.minIndex = 1;
    description.maxIndex = maxIndex;
    for (const AttributeRow& row : rows) {
        AttributeDescription& attribute = description.attributes[description.attributeCount++];
        attribute.fileSign = row.fileSign;
        attribute.busSign = row.busSign;
        attribute.fieldCount = row.fieldCount;
        attribute.byteCount = row.byteCount;
        attribute.flags = static_cast<std::uint32_t>(row.type);
        attribute.name = row.name;
    }
    return description;
}

}  // namespace

TableDescription tdesDescription() {
    return makeDescription("TDES", 0x7E, "TABLE-DESCRIPTION", 255,
                           {{"TANU", 0x61, 0, 2, ValueType::BinaryKey, "INDEX"},
                            {"TFSG", 0x62, 1, 4, ValueType::PlainText, "CSV FILE"},
                            {"TBSG", 0x63, 1, 1, ValueType::Number, "BUS SIGN"},
                            {"TATY", 0x64, 1, 1, ValueType::Number, "TABLE TYPE"},
                            {"TANE", 0x65, 1, 25, ValueType::PlainText, "TABLE NAME"},
                            {"TIMA", 0x66, 1, 2, ValueType::Number, "MAX INDEX"}});
}

TableDescription adesDescription() {
    return makeDescription("ADES", 0x7F, "ATTRIBUT-DESCRIPTION", 9999,
                           {{"ATNU", 0x61, 0, 2, ValueType::BinaryKey, "INDEX"},
                            {"TFSG", 0x62, 1, 4, ValueType::PlainText, "CSV FILE"},
                            {"AFSG", 0x63, 1, 4, ValueType::PlainText, "ATT SIGN"},
                            {"ABSG", 0x64, 1, 1, ValueType::Number, "BUS SIGN"},
                            {"ATNB", 0x65, 1, 2, ValueType::Number, "NR BYTES-FIELDS"},
                            {"ATFG", 0x66, 1, 2, ValueType::Number, "FLAGS"},
                            {"ATFT", 0x67, 1, 25, ValueType::PlainText, "ATT NAME"}});
}
