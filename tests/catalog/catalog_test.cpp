#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "catalog/description_set.h"
#include "catalog/table_catalog.h"
#include "support/test_files.h"
#include "tables/keyed_table.h"

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

const std::string kTdesHead =
    "TANU;TFSG;TBSG;TATY;TANE;TIMA;\r\nINDEX;CSV FILE;BUS SIGN;TABLE TYPE;TABLE NAME;MAX "
    "INDEX;\r\n";
const std::string kAdesHead =
    "ATNU;TFSG;AFSG;ABSG;ATNB;ATFG;ATFT;\r\n"
    "INDEX;CSV FILE;ATT SIGN;BUS SIGN;NR BYTES-FIELDS;FLAGS;ATT NAME;\r\n";

// The ADES rows that describe TDES and ADES themselves, keys 1 to 13.
const std::string kMetaAttributes =
    "1;TDES;TANU;61;2;8;INDEX\r\n"
    "2;TDES;TFSG;62;4;5;CSV FILE\r\n"
    "3;TDES;TBSG;63;1;1;BUS SIGN\r\n"
    "4;TDES;TATY;64;1;1;TABLE TYPE\r\n"
    "5;TDES;TANE;65;19;5;TABLE NAME\r\n"
    "6;TDES;TIMA;66;2;1;MAX INDEX\r\n"
    "7;ADES;ATNU;61;2;8;INDEX\r\n"
    "8;ADES;TFSG;62;4;5;CSV FILE\r\n"
    "9;ADES;AFSG;63;4;5;ATT SIGN\r\n"
    "10;ADES;ABSG;64;1;1;BUS SIGN\r\n"
    "11;ADES;ATNB;65;2;1;NR BYTES-FIELDS\r\n"
    "12;ADES;ATFG;66;2;1;FLAGS\r\n"
    "13;ADES;ATFT;67;19;5;ATT NAME\r\n";

const std::string kMetaTables =
    "1;TDES;7E;2;TABLE-DESCRIPTION;FF\r\n"
    "2;ADES;7F;2;ATTRIBUT-DESCRIPTION;270F\r\n";

// Three data tables, listed out of key order: an article table (key type 7, decimal maximum
// index), a configuration table kept per scale, and a single-record table.
const std::string kDataTables =
    "9;PARM;31;1;PARAMETERS;\r\n"
    "3;ARTI;41;3;ARTICLES;9999\r\n"
    "5;CONF;90;4;CONFIG;\r\n";
const std::string kDataAttributes =
    "20;ARTI;ANUM;61;3;7;ARTICLE NUMBER\r\n"
    "21;ARTI;ANAM;62;19;5;ARTICLE NAME\r\n"
    "22;ARTI;PRIC;63;3006;1;PRICES\r\n"
    "30;CONF;CVAL;61;2;1;VALUE\r\n"
    "40;PARM;PVAL;61;2;1;VALUE\r\n";

class Catalog : public testing::Test {
  protected:
    void write(const std::string& tdesRows, const std::string& adesRows) {
        writeFile(dir_.file("TDES.csv"), kTdesHead + tdesRows);
        writeFile(dir_.file("ADES.csv"), kAdesHead + adesRows);
    }
    bool load() { return catalog_.loadDescriptions(dir_.withSeparator()); }

    TempDir dir_;
    TableCatalog catalog_;
};

}  // namespace

TEST_F(Catalog, DataTablesFollowTheTdesKeys) {
    write(kMetaTables + kDataTables, kMetaAttributes + kDataAttributes);
    ASSERT_TRUE(load());
    ASSERT_EQ(catalog_.tableCount(), 3u);
    EXPECT_EQ(catalog_.tableAt(0)->fileSign(), "ARTI");
    EXPECT_EQ(catalog_.tableAt(1)->fileSign(), "CONF");
    EXPECT_EQ(catalog_.tableAt(2)->fileSign(), "PARM");
    EXPECT_EQ(catalog_.tableAt(3), nullptr);

    const TableDescription& articles = catalog_.tableAt(0)->description();
    EXPECT_EQ(articles.busSign, 0x41);
    EXPECT_EQ(articles.tableType, TableType::Article);
    EXPECT_EQ(articles.name, "ARTICLES");
    EXPECT_EQ(articles.minIndex, 1u);
    EXPECT_EQ(articles.maxIndex, 9999u);
    ASSERT_EQ(articles.attributeCount, 3);
    EXPECT_EQ(articles.attributes[2].fileSign, "PRIC");
    EXPECT_EQ(articles.attributes[2].byteCount, 6u);
    EXPECT_EQ(articles.attributes[2].fieldCount, 2u);
    EXPECT_TRUE(catalog_.tableAt(0)->isSelected());
    EXPECT_TRUE(catalog_.tableAt(0)->isArticleTable());
    EXPECT_EQ(catalog_.tableAt(1)->description().maxIndex, 0u);  // no TIMA
}

TEST_F(Catalog, OnlyTheMetaTablesGiveNoDataTables) {
    write(kMetaTables, kMetaAttributes);
    EXPECT_TRUE(load());
    EXPECT_EQ(catalog_.tableCount(), 0u);
}

TEST_F(Catalog, DescriptionsWithoutMetaRowsKeepEveryTable) {
    write(kDataTables, kMetaAttributes + kDataAttributes);
    ASSERT_TRUE(load());
    ASSERT_EQ(catalog_.tableCount(), 3u);
    EXPECT_EQ(catalog_.tableAt(2)->fileSign(), "PARM");
    // One row is one table.
    write("3;ARTI;41;3;ARTICLES;9999\r\n", kMetaAttributes + kDataAttributes);
    ASSERT_TRUE(load());
    EXPECT_EQ(catalog_.tableCount(), 1u);
}

TEST_F(Catalog, FileSignsThatAFileNameOrHeadingCannotCarryFailTheLoad) {
    for (const std::string sign :
         {"../Z", "A\\BC", "A:BC", "A<BC", "A>BC", "A\"BC", "A|BC", "A?BC", "A*BC",
          "A\x01"
          "BC",
          "A\x7F"
          "BC"}) {
        write(kMetaTables + "3;" + sign + ";41;2;BAD;10\r\n",
              kMetaAttributes + "20;" + sign + ";ANUM;61;3;7;N\r\n");
        EXPECT_FALSE(load()) << sign;
        write(kMetaTables + "3;GOOD;41;2;BAD;10\r\n",
              kMetaAttributes + "20;GOOD;ANUM;61;3;7;N\r\n21;GOOD;" + sign + ";62;3;5;N\r\n");
        EXPECT_FALSE(load()) << sign;
    }
    write(kMetaTables + "3;A-B.;41;2;GOOD;10\r\n", kMetaAttributes + "20;A-B.;A B!;61;3;7;N\r\n");
    EXPECT_TRUE(load());
}

TEST_F(Catalog, MalformedTableRowsFailTheLoad) {
    const std::string attributes = kMetaAttributes +
                                   "20;AB;ANUM;61;3;7;N\r\n"
                                   "21;ABCDE;ANUM;61;3;7;N\r\n"
                                   "22;BADS;ANUM;61;3;7;N\r\n"
                                   "23;TYP6;ANUM;61;3;7;N\r\n"
                                   "24;NOTY;ANUM;61;3;7;N\r\n";
    for (const std::string row :
         {"3;AB;41;2;SHORT;10\r\n", "3;ABCDE;41;2;LONG;10\r\n", "3;BADS;1F;2;BUS;10\r\n",
          "3;TYP6;41;6;TYPE;10\r\n", "3;NOTY;41;;NO TYPE;10\r\n"}) {
        write(kMetaTables + kDataTables + row, attributes + kDataAttributes);
        EXPECT_FALSE(load()) << row;
        EXPECT_EQ(catalog_.tableCount(), 0u) << row;
    }
    // The meta-tables' own rows may lack the type; the bus signs 20 and FF are valid.
    write(
        "1;TDES;7E;;TABLE-DESCRIPTION;FF\r\n2;ADES;7F;;;270F\r\n3;LOWS;20;2;;10\r\n"
        "4;HIGS;FF;2;;10\r\n",
        kMetaAttributes + "20;LOWS;ANUM;61;3;7;N\r\n21;HIGS;ANUM;61;3;7;N\r\n");
    EXPECT_TRUE(load());
    EXPECT_EQ(catalog_.tableCount(), 2u);
}

TEST_F(Catalog, MalformedOrMissingAttributeRowsFailTheLoad) {
    // A table that no ADES row names.
    write(kMetaTables + kDataTables + "4;LOST;42;2;LOST;10\r\n", kMetaAttributes + kDataAttributes);
    EXPECT_FALSE(load());
    // An ADES file without rows.
    write(kMetaTables + kDataTables, "");
    EXPECT_FALSE(load());
    // A row of the table with a bus sign out of range, or an attribute sign of three letters.
    write(kMetaTables + kDataTables,
          kMetaAttributes + kDataAttributes + "41;PARM;PXXX;1F;2;1;X\r\n");
    EXPECT_FALSE(load());
    write(kMetaTables + kDataTables,
          kMetaAttributes + kDataAttributes + "41;PARM;PXX;61;2;1;X\r\n");
    EXPECT_FALSE(load());
    // A row without TFSG stops every walk that reaches it.
    write(kMetaTables + kDataTables, kMetaAttributes + kDataAttributes + "50;;PXXX;61;2;1;X\r\n");
    EXPECT_FALSE(load());
    // A missing TDES file.
    TempDir empty;
    EXPECT_FALSE(catalog_.loadDescriptions(empty.withSeparator()));
}

TEST_F(Catalog, ATableGetsItsFirstHundredAttributes) {
    std::string attributes = kMetaAttributes;
    // 120 rows in ADES key order 100..219, written in reverse so that the file order does not
    // decide.
    for (int i = 119; i >= 0; --i) {
        char row[64];
        std::snprintf(row, sizeof row, "%d;MANY;M%03d;%X;1;5;ATTRIBUTE\r\n", 100 + i, i, 0x20 + i);
        attributes += row;
    }
    write(kMetaTables + "3;MANY;41;1;MANY;\r\n", attributes);
    ASSERT_TRUE(load());
    ASSERT_EQ(catalog_.tableCount(), 1u);
    const TableDescription& many = catalog_.tableAt(0)->description();
    EXPECT_EQ(many.attributeCount, 100);
    EXPECT_EQ(many.attributes[0].fileSign, "M000");
    EXPECT_EQ(many.attributes[99].fileSign, "M099");
}

TEST_F(Catalog, TheMaximumIndexFollowsTheKeyType) {
    write(kMetaTables + "3;HEXK;41;2;HEX;FF\r\n4;DECK;42;2;DEC;255\r\n5;FOUR;43;2;FOUR;255\r\n",
          kMetaAttributes +
              "20;HEXK;HNUM;61;2;8;N\r\n21;DECK;DNUM;61;3;7;N\r\n"
              "22;FOUR;FNUM;61;4;A;N\r\n");
    ASSERT_TRUE(load());
    ASSERT_EQ(catalog_.tableCount(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(catalog_.tableAt(i)->description().maxIndex, 255u) << i;
    }
}

TEST_F(Catalog, SelectionByNameKindAndArticleRange) {
    write(kMetaTables + kDataTables, kMetaAttributes + kDataAttributes);
    ASSERT_TRUE(load());
    catalog_.deselectAll();
    EXPECT_TRUE(catalog_.tdes().isSelected());  // the meta-tables are not touched
    EXPECT_TRUE(catalog_.selectByName("PARM"));
    EXPECT_TRUE(catalog_.tableAt(2)->isSelected());
    EXPECT_FALSE(catalog_.selectByName("NONE"));
    EXPECT_FALSE(catalog_.tableAt(0)->isSelected());
    catalog_.tdes().deselect();
    EXPECT_TRUE(catalog_.selectByName("TDES"));
    EXPECT_TRUE(catalog_.tdes().isSelected());

    catalog_.deselectAll();
    catalog_.selectArticleRange(100, 50);
    EXPECT_TRUE(catalog_.tableAt(0)->isSelected());
    EXPECT_EQ(catalog_.tableAt(0)->rangeLow(), 50u);
    EXPECT_EQ(catalog_.tableAt(0)->rangeHigh(), 100u);

    catalog_.deselectAll();
    catalog_.selectDataTables();
    EXPECT_FALSE(catalog_.tableAt(0)->isSelected());
    EXPECT_FALSE(catalog_.tableAt(1)->isSelected());
    EXPECT_TRUE(catalog_.tableAt(2)->isSelected());
    catalog_.deselectAll();
    catalog_.selectConfigurationTables();
    EXPECT_TRUE(catalog_.tableAt(1)->isSelected());
    EXPECT_FALSE(catalog_.tableAt(2)->isSelected());

    write(kMetaTables + "9;PARM;31;1;PARAMETERS;\r\n", kMetaAttributes + kDataAttributes);
    ASSERT_TRUE(load());
    catalog_.deselectAll();
    catalog_.selectArticleRange(100, 50);
    EXPECT_FALSE(catalog_.tableAt(0)->isSelected());
}

TEST_F(Catalog, ImportAllGoesOnAfterAMissingFile) {
    write(kMetaTables + kDataTables, kMetaAttributes + kDataAttributes);
    ASSERT_TRUE(load());
    writeFile(dir_.file("ARTI.csv"), "ANUM;ANAM;PRIC001;PRIC002;\r\nN;N;P;P;\r\n17;Apple;1;2\r\n");
    writeFile(dir_.file("PARM.csv"), "PVAL;\r\nV;\r\n42\r\n");
    EXPECT_FALSE(catalog_.importAll(dir_.withSeparator()));  // no CONF00.csv .. CONF10.csv
    EXPECT_THAT(catalog_.importFailures(), testing::ElementsAre("CONF"));
    auto& articles = static_cast<KeyedTable&>(*catalog_.tableAt(0));
    EXPECT_EQ(articles.records().size(), 1u);
    EXPECT_EQ(catalog_.tdes().records().size(), 5u);
    std::string request;
    std::string status;
    EXPECT_EQ(catalog_.tableAt(2)->nextToSend(status, 1, request), SendResult::Only);
}

TEST_F(Catalog, SavingMarksTheMetaRowsWithFFFF) {
    write(kMetaTables + kDataTables, kMetaAttributes + kDataAttributes);
    ASSERT_TRUE(load());
    TempDir out;
    ASSERT_TRUE(catalog_.saveAllTables(out.withSeparator()));
    ASSERT_TRUE(catalog_.tdes().loadRecord(2));
    EXPECT_EQ(catalog_.tdes().slot(4), "FFFF");
    EXPECT_EQ(readFile(out.file("TDES.csv")),
              "TANU;TFSG;TBSG;TATY;TANE;TIMA;\r\n"
              "INDEX;CSV FILE;BUS SIGN;TABLE TYPE;TABLE NAME;MAX INDEX;\r\n"
              "1;TDES;7E;2;TABLE-DESCRIPTION;FFFF\r\n"
              "2;ADES;7F;2;ATTRIBUT-DESCRIPTION;FFFF\r\n"
              "3;ARTI;41;3;ARTICLES;9999\r\n"
              "5;CONF;90;4;CONFIG;\r\n"
              "9;PARM;31;1;PARAMETERS;\r\n");
    // What was saved loads again.
    EXPECT_TRUE(catalog_.loadDescriptions(out.withSeparator()));
    EXPECT_EQ(catalog_.tableCount(), 3u);
}
