#include "dictionary/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>

#include "dictionary/encoded_value.h"
#include "dictionary/key_value.h"

namespace {

AttributeDescription attribute(const char* fileSign, std::uint8_t busSign, std::uint32_t fieldCount,
                               std::uint32_t flags, std::uint32_t byteCount = 1) {
    AttributeDescription a;
    a.fileSign = fileSign;
    a.busSign = busSign;
    a.fieldCount = fieldCount;
    a.byteCount = byteCount;
    a.flags = flags;
    return a;
}

TableDescription describe(std::initializer_list<AttributeDescription> attributes) {
    TableDescription d;
    d.fileSign = "TEST";
    d.busSign = 0x40;
    d.tableType = 2;
    d.name = "TEST TABLE";
    d.minIndex = 1;
    d.maxIndex = 255;
    for (const AttributeDescription& a : attributes) {
        d.attributes[d.attributeCount++] = a;
    }
    return d;
}

TEST(MetaDescriptions, BuiltInTdesAndAdesDescribeTheirAttributesOnly) {
    const TableDescription tdes = tdesDescription();
    EXPECT_EQ(tdes.fileSign, "TDES");
    EXPECT_EQ(tdes.busSign, 0x7E);
    EXPECT_EQ(tdes.maxIndex, 255u);
    ASSERT_EQ(tdes.attributeCount, 6);
    EXPECT_EQ(tdes.attributes[5].fileSign, "TIMA");
    EXPECT_EQ(tdes.attributes[5].busSign, 0x66);
    for (std::size_t i = 6; i < TableDescription::kMaxAttributes; ++i) {
        EXPECT_TRUE(tdes.attributes[i].fileSign.empty() && tdes.attributes[i].flags == 0 &&
                    tdes.attributes[i].fieldCount == 0)
            << i;
    }
    const TableDescription ades = adesDescription();
    EXPECT_EQ(ades.busSign, 0x7F);
    EXPECT_EQ(ades.maxIndex, 9999u);
    ASSERT_EQ(ades.attributeCount, 7);
    EXPECT_EQ(ades.attributes[6].name, "ATT NAME");
    EXPECT_TRUE(ades.attributes[7].fileSign.empty());
}

TEST(AttributeDescription, SizeCodeGivesBytesAndFieldsByType) {
    AttributeDescription a;
    a.flags = 1;
    a.setSizeCode(0x2006);
    EXPECT_EQ(a.byteCount, 6u);
    EXPECT_EQ(a.fieldCount, 3u);
    a.setSizeCode(0x0006);
    EXPECT_EQ(a.fieldCount, 1u);
    a.flags = 4;
    a.setSizeCode(0x4050);
    EXPECT_EQ(a.byteCount, 0x50u);
    EXPECT_EQ(a.fieldCount, 4u);
    a.flags = 8;
    a.setSizeCode(0x2002);
    EXPECT_EQ(a.fieldCount, 0u);
    // A character, a digit string and a type-10 key are one value whatever the size digit.
    for (std::uint32_t type : {3u, 9u, 10u}) {
        a.flags = type;
        a.setSizeCode(0x1004);
        EXPECT_EQ(a.byteCount, 4u);
        EXPECT_EQ(a.fieldCount, 1u) << type;
    }

    // The low byte is the type: 0x101 is type 1 sent as a binary number, 0x108 type 8.
    a.flags = 0x101;
    EXPECT_EQ(a.valueType(), 1);
    EXPECT_TRUE(a.sentAsBinary());
    a.flags = 0x8001;
    EXPECT_TRUE(a.neverSentToScale());
}

TEST(Table, TdesGetsItsValueObjectsAndSlots) {
    Table tdes(tdesDescription());
    EXPECT_TRUE(tdes.isLayoutComplete());
    EXPECT_TRUE(tdes.isSelected());
    EXPECT_TRUE(tdes.isMeta());
    EXPECT_TRUE(tdes.isTdes());
    EXPECT_FALSE(tdes.isAdes());
    EXPECT_FALSE(tdes.isConfigurationTable());
    EXPECT_EQ(tdes.usedSlotCount(), 5u);

    const RecordLayout& layout = tdes.layout();
    ASSERT_EQ(layout.count(), 6u);
    auto* key = dynamic_cast<KeyValue*>(layout.valueAt(0));
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->mode(), KeyValue::Mode::Binary);
    const ValueMode modes[] = {ValueMode::PlainText, ValueMode::PackedDigits,
                               ValueMode::PackedDigits, ValueMode::PlainText,
                               ValueMode::PackedDigits};
    for (std::size_t i = 1; i < 6; ++i) {
        auto* value = dynamic_cast<EncodedValue*>(layout.valueAt(i));
        ASSERT_NE(value, nullptr) << i;
        EXPECT_EQ(value->mode(), modes[i - 1]) << i;
    }

    std::size_t first = 99;
    std::uint32_t fields = 99;
    EXPECT_TRUE(tdes.findAttribute("TIMA", first, fields));
    EXPECT_EQ(first, 4u);
    EXPECT_EQ(fields, 1u);
    EXPECT_FALSE(tdes.findAttribute("XXXX", first, fields));
    EXPECT_EQ(fields, 0u);
    EXPECT_FALSE(tdes.findAttribute("tima", first, fields));

    Table ades(adesDescription());
    EXPECT_TRUE(ades.isAdes());
    EXPECT_TRUE(ades.findAttribute("ATFT", first, fields));
    EXPECT_EQ(first, 5u);
}

TEST(Table, TypeAndFlagsChooseTheValueObject) {
    Table table(describe({attribute("BINN", 0x21, 1, 0x101), attribute("KEYS", 0x22, 0, 0x108),
                          attribute("PACK", 0x23, 1, 0x001), attribute("SHFT", 0x24, 1, 2),
                          attribute("TRAN", 0x25, 1, 6), attribute("FOUR", 0x26, 1, 10)}));
    ASSERT_TRUE(table.isLayoutComplete());
    const RecordLayout& layout = table.layout();
    EXPECT_EQ(dynamic_cast<EncodedValue&>(*layout.valueAt(0)).mode(), ValueMode::Binary);
    EXPECT_EQ(dynamic_cast<KeyValue&>(*layout.valueAt(1)).mode(), KeyValue::Mode::Binary);
    EXPECT_EQ(dynamic_cast<EncodedValue&>(*layout.valueAt(2)).mode(), ValueMode::PackedDigits);
    EXPECT_EQ(dynamic_cast<EncodedValue&>(*layout.valueAt(3)).mode(), ValueMode::ShiftedDigits);
    EXPECT_EQ(dynamic_cast<EncodedValue&>(*layout.valueAt(4)).mode(), ValueMode::TranslatedText);
    EXPECT_EQ(dynamic_cast<KeyValue&>(*layout.valueAt(5)).mode(), KeyValue::Mode::FourDigits);
    // The type-10 key still owns its field, so FOUR takes slot 4 and the slots end there.
    EXPECT_EQ(table.usedSlotCount(), 5u);
}

TEST(Table, LayoutNeedsFewerThan150SlotsAndKnownTypes) {
    TableDescription d = describe({});
    for (int i = 0; i < 49; ++i) {
        d.attributes[d.attributeCount++] =
            attribute("MANY", static_cast<std::uint8_t>(0x21 + i), 3, 0);
    }
    {
        Table table(d);
        EXPECT_TRUE(table.isLayoutComplete());
        EXPECT_TRUE(table.isSelected());
        EXPECT_EQ(table.usedSlotCount(), 147u);
    }
    d.attributes[d.attributeCount++] = attribute("LAST", 0x60, 3, 0);
    {
        Table table(d);
        EXPECT_FALSE(table.isLayoutComplete());
        EXPECT_FALSE(table.isSelected());
        table.select();
        EXPECT_FALSE(table.isSelected());
        EXPECT_NE(table.layout().valueAt(48), nullptr);
        EXPECT_EQ(table.layout().valueAt(49), nullptr);
    }

    Table unknownType(describe({attribute("AAAA", 0x21, 1, 0), attribute("BBBB", 0x22, 1, 11),
                                attribute("CCCC", 0x23, 1, 0x8000)}));
    EXPECT_FALSE(unknownType.isLayoutComplete());
    EXPECT_FALSE(unknownType.isSelected());
    EXPECT_NE(unknownType.layout().valueAt(0), nullptr);
    EXPECT_EQ(unknownType.layout().valueAt(1), nullptr);
    EXPECT_EQ(unknownType.layout().valueAt(2), nullptr);
    EXPECT_FALSE(unknownType.isSendBlocked());  // the flag of an attribute never reached

    Table blocked(describe({attribute("AAAA", 0x21, 1, 0x8001)}));
    EXPECT_TRUE(blocked.isSendBlocked());
    EXPECT_TRUE(blocked.isLayoutComplete());
}

TEST(Table, RangeEndsAreOrderedAndClampedOneByOne) {
    Table table(tdesDescription());
    EXPECT_EQ(table.rangeLow(), 1u);
    EXPECT_EQ(table.rangeHigh(), 255u);
    table.setRange(50, 10);
    EXPECT_EQ(table.rangeLow(), 10u);
    EXPECT_EQ(table.rangeHigh(), 50u);
    table.setRange(0, 300);
    EXPECT_EQ(table.rangeLow(), 1u);
    EXPECT_EQ(table.rangeHigh(), 255u);
    // A range wholly above maxIndex or below minIndex holds no key at all.
    EXPECT_FALSE(table.setRange(300, 400));
    EXPECT_LT(table.rangeHigh(), table.rangeLow());
    EXPECT_FALSE(table.setRange(0, 0));
    EXPECT_LT(table.rangeHigh(), table.rangeLow());
    EXPECT_TRUE(table.setRange(0, 20));
    EXPECT_EQ(table.rangeLow(), 1u);
    EXPECT_EQ(table.rangeHigh(), 20u);
}

TEST(Table, ClearRecordEmptiesEverySlotOfEveryAttributeAndTheKey) {
    Table table(describe({attribute("KEYS", 0x21, 0, 8), attribute("MULT", 0x22, 3, 5),
                          attribute("ONE_", 0x23, 1, 0)}));
    table.setKey(12);
    for (std::size_t i = 0; i < 4; ++i) {
        table.slot(i) = "text";
    }
    table.clearRecord();
    EXPECT_EQ(table.key(), 0);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(table.slot(i), "") << i;
    }
}

TEST(RecordLayout, DecodesTheTdesRecordAndSkipsUnknownGroups) {
    Table tdes(tdesDescription());
    tdes.layout().decodeRecord("\x7E\x17\x62\x74\x64\x65\x73\x20\x17\x63\x9E\x03");
    EXPECT_EQ(tdes.slot(0), "TDES");
    EXPECT_EQ(tdes.slot(1), "7E");

    tdes.clearRecord();
    // Groups in any order; sign 70h belongs to no attribute and is skipped.
    tdes.layout().decodeRecord(
        "\x7E\x17\x63\x9E\x17\x70\x21\x22\x17\x61\x25\x17\x62\x74\x64\x65\x73\x20\x17\x03");
    EXPECT_EQ(tdes.key(), 5);
    EXPECT_EQ(tdes.slot(0), "TDES");
    EXPECT_EQ(tdes.slot(1), "7E");
    EXPECT_EQ(tdes.slot(2), "");
}

TEST(RecordLayout, RecordOfOnlyEtxOrTruncatedBytesChangesNothingUnread) {
    Table tdes(tdesDescription());
    tdes.setKey(3);
    tdes.slot(0) = "KEEP";
    tdes.layout().decodeRecord("\x03");
    tdes.layout().decodeRecord("");
    tdes.layout().decodeRecord("\x7E");
    tdes.layout().decodeRecord("\x7E\x17");
    tdes.layout().decodeRecord("\x7E\x17\x62\xFF");  // escape cut off by the end
    EXPECT_EQ(tdes.key(), 3);
    EXPECT_EQ(tdes.slot(0), "KEEP");
}

TEST(RecordLayout, EncodesTheTdesRecordGroupByGroup) {
    Table tdes(tdesDescription());
    tdes.setKey(5);
    tdes.slot(0) = "TDES";
    tdes.slot(1) = "7E";
    tdes.slot(2) = "2";
    tdes.slot(3) = "AB";
    tdes.slot(4) = "FF";
    std::string out;
    tdes.layout().encodeRecord(out);
    EXPECT_EQ(out,
              "\x61\x25\x17"
              "\x62\x74\x64\x65\x73\x20\x17"
              "\x63\x9E\x17"
              "\x64\x22\x17"
              "\x65\x61\x62\x20\x17"
              "\x66\xFF\x2F\x2F\x17");
}

// A received record whose text lines come last: ETX follows the last line and the check byte
// after it is 17h. Neither byte may end up in a line.
TEST(RecordLayout, TextLinesLastInTheRecordEndAtEtx) {
    Table table(describe({attribute("KEYS", 0x21, 0, 8), attribute("LINE", 0x22, 2, 4)}));
    table.layout().decodeRecord(
        "\x40\x17\x21\x27\x17\x22"
        "12HI\x17\x22"
        "20\x03\x17");
    EXPECT_EQ(table.key(), 7);
    EXPECT_EQ(table.slot(0), "2HI");
    EXPECT_EQ(table.slot(1), "0");
    std::string out;
    table.layout().encodeRecord(out);
    EXPECT_EQ(out,
              "\x21\x27\x17\x22"
              "12HI\x17\x22"
              "20\x17");
}

TEST(RecordLayout, ThreeFieldTextFollowedByAnotherAttributeDecodesWhole) {
    Table table(describe({attribute("TEXT", 0x22, 3, 5), attribute("NUMB", 0x23, 1, 0)}));
    table.layout().decodeRecord("\x40\x17\x22\x61\x20\x1E\x62\x20\x1E\x63\x20\x1E\x17\x23\x25\x03");
    EXPECT_EQ(table.slot(0), "A");
    EXPECT_EQ(table.slot(1), "B");
    EXPECT_EQ(table.slot(2), "C");
    EXPECT_EQ(table.slot(3), "5");
}

TEST(Table, PackedRecordKeepsOnlyUsedSlotsAndRestoresThem) {
    Table table(describe({attribute("KEYS", 0x21, 0, 8), attribute("MULT", 0x22, 2, 5)}));
    table.slot(0) = "AB";
    table.slot(1) = std::string(200, 'x');
    table.slot(2) = "not used by the layout";
    const std::string packed = table.packRecord();
    // "AB" with its length 2, then 200 = C8h as the two length bytes 48h 01h.
    EXPECT_EQ(packed, std::string("\x02"
                                  "AB"
                                  "\xC8\x01") +
                          std::string(200, 'x'));

    table.clearRecord();
    ASSERT_TRUE(table.unpackRecord(packed));
    EXPECT_EQ(table.slot(0), "AB");
    EXPECT_EQ(table.slot(1), std::string(200, 'x'));

    table.slot(0) = "same";
    EXPECT_FALSE(table.unpackRecord(packed.substr(0, 10)));
    EXPECT_FALSE(table.unpackRecord(packed + "z"));
    EXPECT_EQ(table.slot(0), "same");
}

// Random valid texts for every value class go through encodeRecord, the link's ETX and check
// byte, and decodeRecord, and come back in their normal forms.
TEST(RecordLayout, RoundTripOfRandomRecordsOverEveryValueClass) {
    Table table(describe({attribute("KEYS", 0x21, 0, 8), attribute("PACK", 0x22, 2, 0),
                          attribute("BINA", 0x23, 1, 0x101, 4), attribute("SHIF", 0x24, 1, 2),
                          attribute("CHAR", 0x25, 1, 3), attribute("LINE", 0x26, 3, 4),
                          attribute("PLAI", 0x27, 3, 5), attribute("TRAN", 0x28, 1, 6),
                          attribute("DIGS", 0x29, 1, 9, 6)}));
    ASSERT_TRUE(table.isLayoutComplete());
    std::mt19937 random(4711);
    auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    auto randomBytes = [&](int maxLength) {
        std::string text(static_cast<std::size_t>(pick(0, maxLength)), ' ');
        for (char& c : text) {
            do {
                c = static_cast<char>(pick(1, 255));
            } while (c == '\x03' || c == '\x17');
        }
        return text;
    };
    auto digits = [&](const char* alphabet, int maxLength) {
        std::string text;
        const int length = pick(1, maxLength);
        for (int i = 0; i < length; ++i) {
            text.push_back(
                alphabet[pick(0, static_cast<int>(std::char_traits<char>::length(alphabet)) - 1)]);
        }
        return text;
    };
    auto upperWithoutLeadingZeros = [](std::string text) {
        for (char& c : text) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        text.erase(0, std::min(text.find_first_not_of('0'), text.size() - 1));
        return text;
    };

    // The value that owns each slot.
    const std::size_t ownerOfSlot[] = {1, 1, 2, 3, 4, 5, 5, 5, 6, 6, 6, 7, 8};
    for (int round = 0; round < 300; ++round) {
        std::string texts[13];
        const std::int32_t key = static_cast<std::int32_t>(random());
        texts[0] = digits("0123456789ABCDEFabcdef", 10);
        texts[1] = pick(0, 4) == 0 ? "" : digits("0123456789ABCDEF", 10);
        texts[2] = std::to_string(static_cast<std::int32_t>(random()));
        texts[3] = digits("0123456789", 8);
        texts[4] = pick(0, 5) == 0 ? "" : randomBytes(1);
        for (std::size_t i = 5; i < 12; ++i) {
            texts[i] = randomBytes(12);
        }
        texts[12] = digits("0123456789", 6);

        table.setKey(key);
        for (std::size_t i = 0; i < 13; ++i) {
            ASSERT_TRUE(table.layout().valueAt(ownerOfSlot[i])->isValidText(texts[i])) << i;
            table.slot(i) = texts[i];
        }
        std::string record = "\x40\x17";
        table.layout().encodeRecord(record);
        record.back() = '\x03';  // the link turns the last ETB into ETX and adds its check byte
        record.push_back(static_cast<char>(pick(0, 255)));

        table.clearRecord();
        table.layout().decodeRecord(record);

        ASSERT_EQ(table.key(), key);
        EXPECT_EQ(table.slot(0), upperWithoutLeadingZeros(texts[0]));
        EXPECT_EQ(table.slot(1), texts[1].empty() ? "" : upperWithoutLeadingZeros(texts[1]));
        EXPECT_EQ(table.slot(2), texts[2]);
        EXPECT_EQ(table.slot(3), upperWithoutLeadingZeros(texts[3]));
        EXPECT_EQ(table.slot(4), texts[4]);
        for (std::size_t line = 5; line < 8; ++line) {
            const std::string& t = texts[line];
            const std::string normal = t.empty() ? "0" : (t[0] >= '0' && t[0] <= '8' ? t : "2" + t);
            EXPECT_EQ(table.slot(line), normal) << line;
        }
        for (std::size_t i = 8; i < 12; ++i) {
            EXPECT_EQ(table.slot(i), texts[i]) << i;
        }
        EXPECT_EQ(table.slot(12), upperWithoutLeadingZeros(texts[12]));
    }
}

}  // namespace
