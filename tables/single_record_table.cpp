#include "tables/single_record_table.h"

#include "tables/column_map.h"
#include "tables/csv_files.h"
#include "tables/ctable_exceptions.h"
#include "tables/handler_support.h"

void SingleRecordTable::startSending(int) {}

SendResult SingleRecordTable::storeReceived(std::string&, int, const std::string& record) {
    clearRecord();
    layout().decodeRecord(record);
    held_ = true;
    return SendResult::Only;
}

SendResult SingleRecordTable::nextToSend(std::string&, int, std::string& record) {
    if (!held_) {
        return SendResult::Nothing;
    }
    handler_support::appendRecord(*this, record);
    return SendResult::Only;
}

void SingleRecordTable::prepareReceive(int) {}

void SingleRecordTable::clearRecords() {
    held_ = false;
}

bool SingleRecordTable::exportCsv(const std::string& directory) {
    if (!held_) {
        return true;
    }
    CsvOutputFile out;
    if (!openCsvForWrite(out, directory, 0)) {
        return false;
    }
    writeCsvLine(out);
    return out.commit();
}

void SingleRecordTable::importCsv(const std::string& directory) {
    held_ = false;
    clearImportProblems();
    CsvInputFile in;
    ColumnMap map;
    const int opened = openCsvForRead(in, map, directory, 0);
    if (opened == 0) {
        throw CTableExceptions(1);
    }
    if (opened > 0 && readCsvLine(in, map)) {
        held_ = true;
    }
}

void SingleRecordTable::findInvalidValues(std::vector<InvalidValue>& out) {
    CsvTable::findInvalidValues(out);
    if (held_) {
        collectInvalidTexts(key(), out);
    }
}
