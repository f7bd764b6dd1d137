#pragma once

#include <set>
#include <string>
#include <utility>

class CsvTable;
class TableCatalog;

// Each (table, file number) a job from the scale asked the scale for, or got a record for. The
// file number is the table's (CsvTable::csvFileNumber).
using FetchedFiles = std::set<std::pair<CsvTable*, int>>;

// Writes what a job from the scale fetched into `workDir` as a backup: every table's files, the
// heading-only file of each one fetched empty, and last the marker file beside the directory
// (`markerFileName`). False when a file could not be written or does not read back as written:
// then there is no marker.
bool writeBackup(TableCatalog& catalog, const std::string& workDir, const std::string& dirName,
                 const FetchedFiles& fetched, const FetchedFiles& fetchedWithRecords);

// The name of the marker file of a backup: beside the working directory, named after it, with
// the extension ".sca" ("C:\DATA\" and "DATA" give "C:\DATA.sca"). Separators are looked for
// from `firstExaminedPosition` on.
std::string markerFileName(const std::string& workDir, const std::string& dirName,
                           std::string::size_type firstExaminedPosition);
