#include "job/job_tables.h"

#include <algorithm>
#include <vector>

#include "catalog/table_catalog.h"
#include "diag/escaped_bytes.h"
#include "dictionary/table.h"
#include "job/job_output.h"
#include "tables/keyed_table.h"

using job_output::format;
using job_output::log;

namespace {

// Room in a reply frame beyond the largest record: header, kind, ETX, block check and more.
constexpr std::size_t kReplyHeadroom = 4096;

// The most bytes a record of `table` can take on the wire: every value byte may need three
// bytes, each field a terminator and a separator, each attribute its sign and ETB.
std::size_t largestRecordBytes(const Table& table) {
    const TableDescription& description = table.description();
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < description.attributeCount; ++i) {
        const AttributeDescription& attribute = description.attributes[i];
        bytes += 3 * (attribute.byteCount + attribute.fieldCount) + attribute.fieldCount + 2;
    }
    return bytes;
}

// The job sends `table` (one kept per scale) for this number.
bool sendsNumber(const Table& table, std::int32_t number, const JobParseResult& job,
                 std::uint8_t scaleNumber) {
    if (!table.isConfigurationTable()) {
        return number == scaleNumber;
    }
    // The configuration pass runs from confFrom to confTo, and at least for confFrom.
    return number == job.confFrom || (number >= job.confFrom && number <= job.confTo);
}

void logInvalidValue(const InvalidValue& value) {
    std::string where =
        (value.badKey ? "Invalid key in table " : "Invalid value in table ") + value.table;
    if (value.scale >= 0) {
        where += format(" (number %02d)", value.scale);
    }
    if (!value.badKey) {
        where += format(", key %d", static_cast<int>(value.key));
    }
    std::string line = where + ", column " + value.column + ": \"" + value.text + "\"";
    if (value.text.find("E+") != std::string::npos || value.text.find("e+") != std::string::npos) {
        line += " (this looks like a number a spreadsheet rewrote: format that column as text)";
    }
    log(line);
}

}  // namespace

void selectJobTables(TableCatalog& catalog, const JobParseResult& job) {
    catalog.deselectAll();
    // Only a job that sends is limited by the range (a fetch asks for the whole table).
    if (job.articleGiven && !catalog.selectArticleRange(job.articleFrom, job.articleTo) &&
        job.direction == 1) {
        log(
            format("The article range %u - %u lies wholly outside the article table's keys: no "
                   "article is sent",
                   static_cast<unsigned>(job.articleFrom), static_cast<unsigned>(job.articleTo)));
    }
    if (job.tablesGiven) {
        if (job.tableNameCount == JobParseResult::kAllTables) {
            catalog.selectDataTables();
        } else {
            for (std::uint8_t i = 0; i < job.tableNameCount && i < job.tables.size(); ++i) {
                if (!catalog.selectByName(job.tables[i])) {
                    log("KWTAB names the table " + job.tables[i] +
                        ", which this scale does not have");
                }
            }
        }
    }
    if (job.confGiven) {
        catalog.selectConfigurationTables();
    }
}

bool checkTablesToSend(TableCatalog& catalog, const JobParseResult& job, std::uint8_t scaleNumber,
                       Message& refusal) {
    const std::set<std::string> missingFiles(catalog.importFailures().begin(),
                                             catalog.importFailures().end());
    bool anyFile = false;
    std::vector<InvalidValue> invalid;
    for (std::size_t i = 0; i < catalog.tableCount(); ++i) {
        CsvTable* table = catalog.tableAt(i);
        if (table == nullptr || !table->isSelected() || table->isMeta()) {
            continue;
        }
        // A configuration table goes out only in the configuration pass.
        if (table->isConfigurationTable() && !job.confGiven) {
            log("Table " + table->fileSign() + " (" + table->name() +
                ") is a configuration table: it is sent only with KWCONF");
            continue;
        }
        if (missingFiles.count(table->fileSign()) != 0) {
            log("No file to send for table " + table->fileSign() + " (" + table->name() + ")");
            continue;
        }
        anyFile = true;
        if (!table->isSendBlocked()) {
            const std::size_t first = invalid.size();
            table->findInvalidValues(invalid);
            invalid.erase(
                std::remove_if(invalid.begin() + static_cast<std::ptrdiff_t>(first), invalid.end(),
                               [&](const InvalidValue& value) {
                                   return value.scale >= 0 &&
                                          !sendsNumber(*table, value.scale, job, scaleNumber);
                               }),
                invalid.end());
        }
    }
    if (!anyFile) {
        refusal = Message::NoFileToSend;
        return false;
    }
    bool unreadable = false;
    for (const InvalidValue& value : invalid) {
        if (!value.problem.empty()) {
            log(value.problem);
            unreadable = unreadable || value.message == messageNumber(Message::FileNotRead);
        } else {
            logInvalidValue(value);
        }
    }
    if (!invalid.empty()) {
        refusal = unreadable ? Message::FileNotRead : Message::InvalidValueInFile;
        return false;
    }
    return true;
}

void logIncompleteRecord(const Table& table, int number, const std::string& payload) {
    log("Record of table " + table.fileSign() +
        format(" (number %02d), key %d", number, static_cast<int>(table.key())) +
        ", not read completely: " + escapeBytes(payload));
}

void logUnknownReplies(const Table& table, int count, const std::string& lastPayload) {
    log("Table " + table.fileSign() +
        format(": given up after %d replies the job does not know, the last: ", count) +
        escapeBytes(lastPayload));
}

std::size_t largestReply(TableCatalog& catalog) {
    std::size_t largest =
        std::max(largestRecordBytes(catalog.tdes()), largestRecordBytes(catalog.ades()));
    for (std::size_t i = 0; i < catalog.tableCount(); ++i) {
        if (const Table* table = catalog.tableAt(i)) {
            largest = std::max(largest, largestRecordBytes(*table));
        }
    }
    return largest + kReplyHeadroom;
}

bool eligibleToFetch(const Table& table, bool configPass) {
    return table.isSelected() && table.isConfigurationTable() == configPass && !table.isMeta();
}

bool eligibleToSend(const Table& table, bool configPass) {
    return !table.isSendBlocked() && eligibleToFetch(table, configPass);
}
