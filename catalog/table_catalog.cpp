#include "catalog/table_catalog.h"

#include "catalog/description_set.h"
#include "tables/ctable_exceptions.h"
#include "tables/keyed_table.h"
#include "tables/per_scale_keyed_table.h"
#include "tables/per_scale_table.h"
#include "tables/single_record_table.h"

std::unique_ptr<CsvTable> TableCatalog::makeTable(const TableDescription& description) {
    switch (description.tableType) {
        case TableType::SingleRecord:
            return std::make_unique<SingleRecordTable>(description);
        case TableType::Keyed:
        case TableType::Article:
            return std::make_unique<KeyedTable>(description);
        case TableType::PerScale:
            return std::make_unique<PerScaleTable>(description);
        case TableType::PerScaleKeyed:
            return std::make_unique<PerScaleKeyedTable>(description);
        default:
            return nullptr;
    }
}

TableCatalog::TableCatalog()
    : tdes_(std::make_unique<KeyedTable>(tdesDescription())),
      ades_(std::make_unique<KeyedTable>(adesDescription())) {}

TableCatalog::~TableCatalog() = default;

CsvTable* TableCatalog::tableAt(std::size_t index) const {
    return index < tables_.size() ? tables_[index].get() : nullptr;
}

bool TableCatalog::loadDescriptions(const std::string& directory) {
    tables_.clear();
    try {
        tdes_->importCsv(directory);
        ades_->importCsv(directory);
    } catch (const CTableExceptions&) {
        return false;
    }
    const DescriptionSet set(*tdes_, *ades_);
    if (!set.complete()) {
        return false;
    }
    // Every row but those of the meta-tables themselves describes a data table, whether or not
    // the scale lists TDES and ADES among its tables.
    TableDescription description;
    for (std::size_t j = 0; j < set.count(); ++j) {
        set.descriptionAt(j, description);
        if (description.fileSign == "ADES" || description.fileSign == "TDES") {
            continue;
        }
        std::unique_ptr<CsvTable> table = makeTable(description);
        if (!table) {
            tables_.clear();
            return false;
        }
        tables_.push_back(std::move(table));
    }
    return true;
}

bool TableCatalog::saveAllTables(const std::string& directory, bool keepFaultyImports) {
    std::size_t maxSlot = 0;
    std::size_t signSlot = 0;
    std::uint32_t maxFields = 0;
    std::uint32_t signFields = 0;
    if (tdes_->findAttribute("TIMA", maxSlot, maxFields) &&
        tdes_->findAttribute("TFSG", signSlot, signFields) && maxFields > 0 && signFields > 0) {
        const std::uint32_t maxIndex = tdes_->description().maxIndex;
        std::vector<std::uint32_t> keys;
        for (auto it = tdes_->records().lower_bound(1);
             it != tdes_->records().end() && it->first <= maxIndex; ++it) {
            keys.push_back(it->first);
        }
        for (const std::uint32_t key : keys) {
            tdes_->loadRecord(key);
            const std::string& sign = tdes_->slot(signSlot);
            if (sign == "ADES" || sign == "TDES") {
                tdes_->slot(maxSlot) = "FFFF";
                tdes_->storeRecord(key);
            }
        }
    }
    bool complete = true;
    const auto save = [&](CsvTable& table) {
        if (!keepFaultyImports) {
            table.forgetUnreadableLines();
        } else if (table.hasImportProblems() || table.wroteUnreadableLine()) {
            return;
        }
        complete = table.exportCsv(directory) && complete;
    };
    save(*tdes_);
    save(*ades_);
    for (const auto& table : tables_) {
        save(*table);
    }
    return complete;
}

void TableCatalog::deselectAll() {
    for (const auto& table : tables_) {
        table->deselect();
    }
}

bool TableCatalog::selectByName(const std::string& fileSign) {
    for (const auto& table : tables_) {
        if (table->fileSign() == fileSign) {
            table->select();
            return true;
        }
    }
    if (fileSign == "TDES") {
        tdes_->select();
        return true;
    }
    if (fileSign == "ADES") {
        ades_->select();
        return true;
    }
    return false;
}

void TableCatalog::selectDataTables() {
    for (const auto& table : tables_) {
        if (!table->isConfigurationTable() && !table->isArticleTable()) {
            table->select();
        }
    }
}

void TableCatalog::selectConfigurationTables() {
    for (const auto& table : tables_) {
        if (table->isConfigurationTable()) {
            table->select();
        }
    }
}

Table* TableCatalog::firstArticleTable() const {
    for (const auto& table : tables_) {
        if (table->isArticleTable()) {
            return table.get();
        }
    }
    return nullptr;
}

bool TableCatalog::selectArticleRange(std::uint32_t low, std::uint32_t high) {
    if (Table* table = firstArticleTable()) {
        table->select();
        return table->setRange(low, high);
    }
    return true;
}

bool TableCatalog::import(CsvTable& table, const std::string& directory) {
    try {
        table.importCsv(directory);
        return true;
    } catch (const CTableExceptions&) {
        importFailures_.push_back(table.fileSign());
        return false;
    }
}

bool TableCatalog::importAll(const std::string& directory) {
    importFailures_.clear();
    bool complete = true;
    const auto reRead = [&](CsvTable& table) {
        if (!table.wroteUnreadableLine()) {
            complete = import(table, directory) && complete;
        }
    };
    reRead(*tdes_);
    reRead(*ades_);
    for (const auto& table : tables_) {
        reRead(*table);
    }
    return complete;
}

bool TableCatalog::importSelectedTables(const std::string& directory) {
    importFailures_.clear();
    bool complete = true;
    for (const auto& table : tables_) {
        if (table->isSelected()) {
            complete = import(*table, directory) && complete;
        }
    }
    return complete;
}
