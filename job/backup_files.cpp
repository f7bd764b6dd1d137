#include "job/backup_files.h"

#include <cstdio>
#include <vector>

#include "catalog/table_catalog.h"
#include "diag/output_file.h"
#include "diag/version.h"
#include "dictionary/table.h"
#include "job/job_output.h"
#include "platform/platform.h"
#include "tables/keyed_table.h"

using job_output::log;

namespace {

// Files of configuration tables carry the numbers 00 to 10.
constexpr int kLastFileNumber = 10;

// Decided per file once every number is fetched: a file that none of the numbers it holds
// filled is written with its headings only, so that an old file cannot bring deleted records
// back. Numbers above 10 have no file.
bool writeTablesFetchedEmpty(const std::string& workDir, const FetchedFiles& fetched,
                             const FetchedFiles& fetchedWithRecords) {
    bool written = true;
    for (const auto& entry : fetched) {
        if (entry.second > kLastFileNumber) {
            continue;
        }
        if (fetchedWithRecords.count(entry) == 0) {
            written = entry.first->writeEmptyCsv(workDir, entry.second) && written;
        }
    }
    return written;
}

// After the files were read back: a table whose file held a value it could not take as it
// stands is not written back (writing it would change or drop that value); the log says which
// tables were kept.
void keepTablesThatDoNotReadBack(TableCatalog& catalog) {
    for (std::size_t i = 0; i < catalog.tableCount(); ++i) {
        CsvTable* table = catalog.tableAt(i);
        if (table == nullptr) {
            continue;
        }
        // A text that a job sending the file would refuse counts like one that could not be
        // taken as it stands.
        std::vector<InvalidValue> invalid;
        table->findInvalidValues(invalid);
        if (!invalid.empty()) {
            table->keepFiles();
        }
        if (table->hasImportProblems()) {
            for (const InvalidValue& value : table->fileProblems()) {
                log(value.problem);
            }
            log("Files of table " + table->fileSign() +
                " kept as they are: they hold a value that cannot be written back unchanged");
        }
    }
}

// A table whose file got a fetched value holding ";", CR or LF was written once, as fetched,
// and neither read back nor written again (read back, the value would shift the columns after
// it). True when there is such a table.
bool logTablesWrittenAsFetched(TableCatalog& catalog) {
    bool any = false;
    const auto note = [&any](const CsvTable* table) {
        if (table != nullptr && table->wroteUnreadableLine()) {
            log("Files of table " + table->fileSign() +
                " written as fetched, not read back: a value holds \";\", CR or LF");
            any = true;
        }
    };
    note(&catalog.tdes());
    note(&catalog.ades());
    for (std::size_t i = 0; i < catalog.tableCount(); ++i) {
        note(catalog.tableAt(i));
    }
    return any;
}

}  // namespace

bool writeBackup(TableCatalog& catalog, const std::string& workDir, const std::string& dirName,
                 const FetchedFiles& fetched, const FetchedFiles& fetchedWithRecords) {
    // The marker and the log of an earlier job say that the directory holds a complete
    // backup: they go before the first file is replaced, so that a job that ends in the
    // middle of writing (killed, or a full disk) leaves nothing that claims success.
    const std::string marker =
        markerFileName(workDir, dirName, platform::pathSeparator() == '/' ? 0 : 3);
    std::remove(marker.c_str());
    std::remove((workDir + "Kwlink.log").c_str());
    // The tables are written, read back from the directory and written again. Reading back
    // gives every table (one this job did not fetch too, from the file an earlier job left)
    // exactly the records that a job sending these files would read; the second writing then
    // makes each file what reading it gives, so that the backup sent back and fetched again
    // gives the same files. Reading back also finds the tables whose files do not survive the
    // way through a file: they keep the files of the first writing.
    bool written = catalog.saveAllTables(workDir);
    written = writeTablesFetchedEmpty(workDir, fetched, fetchedWithRecords) && written;
    catalog.importAll(workDir);
    keepTablesThatDoNotReadBack(catalog);
    written = catalog.saveAllTables(workDir, true) && written;
    // A file that cannot be read back as written is no backup: no marker.
    written = !logTablesWrittenAsFetched(catalog) && written;
    // The marker only when every file is in place.
    return written && writeOutputFile(marker, kVersionBanner);
}

std::string markerFileName(const std::string& workDir, const std::string& dirName,
                           std::string::size_type firstExaminedPosition) {
    std::string name = workDir.empty() ? std::string() : workDir.substr(0, workDir.size() - 1);
    std::string::size_type length = name.size();
    while (length > firstExaminedPosition && name[length - 1] != '\\' && name[length - 1] != '/') {
        --length;
    }
    name.resize(length);
    return name + dirName + ".sca";
}
