#include "catalog/description_set.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "tables/keyed_table.h"

namespace {

// One column of a meta-table row: where its text lies, when the table has the column.
class Column {
  public:
    Column(const KeyedTable& table, const std::string& code) {
        std::uint32_t fieldCount = 0;
        present_ = table.findAttribute(code, slot_, fieldCount) && fieldCount > 0;
    }
    // The text of the current record, false when the column is missing or the text empty.
    bool read(const KeyedTable& table, std::string& text) const {
        if (!present_) {
            text.clear();
            return false;
        }
        text = table.slot(slot_);
        return !text.empty();
    }

  private:
    std::size_t slot_ = 0;
    bool present_ = false;
};

// A file sign names CSV files and heads CSV columns: it must not leave the working directory,
// name a device or stream, split a heading line, or bring control bytes into file names.
bool isUsableFileSign(const std::string& sign) {
    if (sign.size() != 4) {
        return false;
    }
    for (const char c : sign) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
        switch (c) {
            case '/':
            case '\\':
            case ':':
            case ';':
            case '<':
            case '>':
            case '"':
            case '|':
            case '?':
            case '*':
                return false;
            default:
                break;
        }
    }
    return true;
}

bool readHex(const std::string& text, unsigned& value) {
    return std::sscanf(text.c_str(), "%x", &value) == 1;
}

bool readBusSign(const std::string& text, std::uint8_t& sign) {
    unsigned value = 0;
    if (text.empty() || !readHex(text, value) || value < 0x20 || value > 0xFF) {
        return false;
    }
    sign = static_cast<std::uint8_t>(value);
    return true;
}

// The texts of one ADES row, read once.
struct AttributeRow {
    std::string table;  // TFSG
    std::string flags;  // ATFG
    std::string sign;   // AFSG
    std::string bus;    // ABSG
    std::string size;   // ATNB
    std::string name;   // ATFT
    bool hasTable = false;
    bool hasFlags = false;
    bool hasSize = false;
};

// Fills `attribute` from an ADES row; false when the row is malformed. A key attribute turns
// the set-aside TIMA text into maxIndex.
bool deriveAttribute(const AttributeRow& row, const std::string& maxIndexText,
                     AttributeDescription& attribute, std::uint32_t& maxIndex) {
    if (!row.hasFlags) {
        return false;
    }
    unsigned flags = 0;
    readHex(row.flags, flags);
    attribute.flags = flags;
    const ValueType type = attribute.valueType();
    if (type == ValueType::DigitsKey || type == ValueType::FourDigitKey) {
        int value = 0;
        if (std::sscanf(maxIndexText.c_str(), "%d", &value) == 1) {
            maxIndex = static_cast<std::uint32_t>(value);
        }
    } else if (type == ValueType::BinaryKey) {
        unsigned value = 0;
        if (readHex(maxIndexText, value)) {
            maxIndex = value;
        }
    }
    if (!isUsableFileSign(row.sign)) {
        return false;
    }
    attribute.fileSign = row.sign;
    if (!readBusSign(row.bus, attribute.busSign)) {
        return false;
    }
    if (!row.hasSize) {
        return false;
    }
    unsigned size = 0;
    readHex(row.size, size);
    attribute.setSizeCode(size);
    attribute.name = row.name;
    return true;
}

}  // namespace

DescriptionSet::DescriptionSet(KeyedTable& tdes, KeyedTable& ades) {
    complete_ = derive(tdes, ades);
}

bool DescriptionSet::descriptionAt(std::size_t index, TableDescription& out) const {
    if (index >= descriptions_.size()) {
        return false;
    }
    out = *descriptions_[index];
    return true;
}

bool DescriptionSet::derive(KeyedTable& tdes, KeyedTable& ades) {
    // The rows, by ascending key, from 1 up to each table's maxIndex.
    std::vector<std::uint32_t> tableKeys;
    for (auto it = tdes.records().lower_bound(1);
         it != tdes.records().end() && it->first <= tdes.description().maxIndex; ++it) {
        tableKeys.push_back(it->first);
    }
    std::vector<std::uint32_t> attributeKeys;
    for (auto it = ades.records().lower_bound(1);
         it != ades.records().end() && it->first <= ades.description().maxIndex; ++it) {
        attributeKeys.push_back(it->first);
    }
    if (tableKeys.empty() || ades.records().empty()) {
        return false;
    }

    // Each ADES row is read once, and the rows are indexed by the table they name, so that a
    // table's walk over the ADES keys visits only its own rows. A row without TFSG ends every
    // walk that reaches it: noted by its position.
    const Column adesTable(ades, "TFSG"), adesFlags(ades, "ATFG"), adesSign(ades, "AFSG"),
        adesBus(ades, "ABSG"), adesSize(ades, "ATNB"), adesName(ades, "ATFT");
    std::vector<AttributeRow> rows(attributeKeys.size());
    std::unordered_map<std::string, std::vector<std::size_t>> rowsByTable;
    std::size_t firstWithoutTable = rows.size();
    for (std::size_t i = 0; i < attributeKeys.size(); ++i) {
        ades.loadRecord(attributeKeys[i]);
        AttributeRow& row = rows[i];
        row.hasTable = adesTable.read(ades, row.table);
        row.hasFlags = adesFlags.read(ades, row.flags);
        adesSign.read(ades, row.sign);
        adesBus.read(ades, row.bus);
        row.hasSize = adesSize.read(ades, row.size);
        adesName.read(ades, row.name);
        if (!row.hasTable) {
            if (firstWithoutTable == rows.size()) {
                firstWithoutTable = i;
            }
            continue;
        }
        rowsByTable[row.table].push_back(i);
    }

    const Column tdesSign(tdes, "TFSG"), tdesBus(tdes, "TBSG"), tdesType(tdes, "TATY"),
        tdesName(tdes, "TANE"), tdesMax(tdes, "TIMA");
    std::string text;
    for (const std::uint32_t key : tableKeys) {
        tdes.loadRecord(key);
        auto description = std::make_unique<TableDescription>();
        tdesSign.read(tdes, text);
        if (!isUsableFileSign(text)) {
            return false;
        }
        description->fileSign = text;
        tdesBus.read(tdes, text);
        if (!readBusSign(text, description->busSign)) {
            return false;
        }
        if (tdesType.read(tdes, text)) {
            // 0 is kept (and refused by the catalog); a number above the last type is malformed.
            const int type = std::atoi(text.c_str());
            if (type < 0 || type > static_cast<int>(TableType::PerScaleKeyed)) {
                return false;
            }
            description->tableType = static_cast<TableType>(type);
        }
        tdesName.read(tdes, description->name);
        std::string maxIndexText;
        tdesMax.read(tdes, maxIndexText);
        description->maxIndex = 0;
        description->minIndex = 1;

        std::size_t filled = 0;
        const auto found = rowsByTable.find(description->fileSign);
        if (found != rowsByTable.end()) {
            for (const std::size_t i : found->second) {
                if (firstWithoutTable < i) {
                    return false;  // the walk reached the row without TFSG first
                }
                if (!deriveAttribute(rows[i], maxIndexText, description->attributes[filled],
                                     description->maxIndex)) {
                    return false;
                }
                if (++filled == TableDescription::kMaxAttributes) {
                    break;
                }
            }
        }
        if (filled < TableDescription::kMaxAttributes && firstWithoutTable < rows.size()) {
            return false;  // the walk went on to the end and met the row without TFSG
        }
        if (filled == 0) {
            return false;
        }
        description->attributeCount = static_cast<std::uint8_t>(filled);
        descriptions_.push_back(std::move(description));
    }
    return true;
}
