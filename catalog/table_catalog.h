#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tables/csv_table.h"

class KeyedTable;

// Every table object of a job: the two meta-tables TDES and ADES, always present, and the data
// tables that the rows of TDES and ADES describe, in the order of their TDES rows. Chooses the
// tables of a job and moves all of them to and from the CSV files of a directory. Used by one
// thread at a time; no lock.
//
// Directory arguments end with the path separator.
class TableCatalog {
  public:
    // The meta-tables from the built-in descriptions; no data tables.
    TableCatalog();
    ~TableCatalog();
    TableCatalog(const TableCatalog&) = delete;
    TableCatalog& operator=(const TableCatalog&) = delete;

    // Drops the data tables, reads TDES and ADES from the directory's CSV files and builds a
    // data table for each TDES row other than those of TDES and ADES themselves. False (and no
    // data tables) when a file cannot be read, a row is malformed (see DescriptionSet) or a
    // table type is 0 or above 5.
    bool loadDescriptions(const std::string& directory);
    // Sets the maximum index of the TDES rows for TDES and ADES to "FFFF", then writes TDES,
    // ADES and every data table. True when every file was written completely. With
    // `keepFaultyImports`, a table whose last import met a value it could not take as it
    // stood (Table::hasImportProblems), or whose last save wrote a line that cannot be read
    // back (Table::wroteUnreadableLine), is not written: its files stay as they are.
    bool saveAllTables(const std::string& directory, bool keepFaultyImports = false);

    // The table object for a description: the handler class its table type asks for
    // (SingleRecordTable, KeyedTable for types 2 and 3, PerScaleTable, PerScaleKeyedTable);
    // null for a type without one (0, above 5).
    static std::unique_ptr<CsvTable> makeTable(const TableDescription& description);

    std::size_t tableCount() const { return tables_.size(); }
    // Data table `index`, null when index >= tableCount().
    CsvTable* tableAt(std::size_t index) const;
    KeyedTable& tdes() { return *tdes_; }
    KeyedTable& ades() { return *ades_; }

    // Deselects every data table (not the meta-tables).
    void deselectAll();
    // Selects the first data table with this fileSign; without one "TDES" and "ADES" select
    // the meta-table. False when no table has the name.
    bool selectByName(const std::string& fileSign);
    // Every data table below bus sign 80h that is not the article table.
    void selectDataTables();
    // Every data table from bus sign 80h on.
    void selectConfigurationTables();
    // The first article table, with the key range low..high (see Table::setRange). False when
    // the range holds no key of that table (it then sends nothing).
    bool selectArticleRange(std::uint32_t low, std::uint32_t high);

    // The imports fill the tables' stores from the directory's CSV files. A table whose file
    // cannot be read keeps what its store held after clearing and makes the result false; the
    // others are still imported. The fileSigns of those tables are listed by importFailures()
    // until the next import.
    //
    // Every table, the meta-tables first, whatever is selected (the backup's re-read of what
    // it wrote). A table whose last save wrote a line that cannot be read back is left out:
    // its store keeps the records it wrote.
    bool importAll(const std::string& directory);
    // Every selected data table, whatever its kind (a job that sends: a table named in the job
    // is sent, the article table too).
    bool importSelectedTables(const std::string& directory);
    const std::vector<std::string>& importFailures() const { return importFailures_; }

  private:
    bool import(CsvTable& table, const std::string& directory);
    Table* firstArticleTable() const;

    std::vector<std::unique_ptr<CsvTable>> tables_;
    std::unique_ptr<KeyedTable> tdes_;
    std::unique_ptr<KeyedTable> ades_;
    std::vector<std::string> importFailures_;
};
