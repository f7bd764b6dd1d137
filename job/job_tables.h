#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "diag/messages.h"
#include "job/job_parameters.h"

class Table;
class TableCatalog;

// Which of the catalog's tables a job moves, and whether their files can be sent.

// Selects what the job string names: the article table with its key range, the named (or all
// ordinary) tables, the configuration tables. Logs a name the scale has no table for, and an
// article range outside the article table's keys in a job that sends.
void selectJobTables(TableCatalog& catalog, const JobParseResult& job);

// Whether a pass (of the configuration tables, or of the others) fetches `table`: selected and
// not a description table; and whether it sends it (nor is its file refused).
bool eligibleToFetch(const Table& table, bool configPass);
bool eligibleToSend(const Table& table, bool configPass);

// Before anything is sent: logs every selected table that had no file (the catalog's import
// failures) and every value that cannot be sent as it stands (table, key, column and text).
// False, with the error in `refusal`, when the job must end: 39 when not one selected table had
// a file, 43 when a file could not be read, 40 when a file holds such a value. A table kept per
// scale is checked only for the numbers the job sends it for (`scaleNumber` or the
// configuration range).
bool checkTablesToSend(TableCatalog& catalog, const JobParseResult& job, std::uint8_t scaleNumber,
                       Message& refusal);

// Log entries about fetching a table: a record not read completely (with the number, its key
// and the reply's bytes), and a fetch given up after `count` replies the job does not know
// (one entry for the whole run: the table and the last reply).
void logIncompleteRecord(const Table& table, int number, const std::string& payload);
void logUnknownReplies(const Table& table, int count, const std::string& lastPayload);

// The longest reply frame the link needs to take: from the largest record the catalog's tables
// describe, with room for the frame around it.
std::size_t largestReply(TableCatalog& catalog);
