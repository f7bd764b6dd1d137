// Entries for CSV import into each handler class, record decoding through a layout and
// loading descriptions into a catalog.
#include <memory>
#include <string>
#include <vector>

#include "catalog/table_catalog.h"
#include "diag/job_log.h"
#include "fuzz/fuzz_scratch.h"
#include "fuzz/fuzz_targets.h"
#include "tables/ctable_exceptions.h"

namespace fuzz_targets {

namespace {

// The walks below stop after this many records: enough to reach every record a short input
// can describe, few enough that one input never runs for long.
constexpr int kMaxWalk = 100000;

// Holds a job log for the duration of one input, as a job has one while it imports files.
class LogForInput {
  public:
    explicit LogForInput(const std::string& directory) : log_(directory) { g_log = &log_; }
    ~LogForInput() { g_log = nullptr; }

  private:
    JobLog log_;
};

// A fresh handler object for `description`: every description of the set has a handler class.
std::unique_ptr<CsvTable> makeTable(const TableDescription& description) {
    std::unique_ptr<CsvTable> table = TableCatalog::makeTable(description);
    if (!table) {
        brokenInvariant("a description of the set has no handler class");
    }
    return table;
}

// What a restore does with a table after the import: look for texts it cannot send, send
// every record to each scale number, and (as a backup would) write the files again.
void useImportedTable(CsvTable& table, const std::string& outDirectory) {
    std::vector<InvalidValue> invalid;
    table.findInvalidValues(invalid);
    for (int scale = 0; scale <= 10; ++scale) {
        table.startSending(scale);
        std::string status;
        int walked = 0;
        SendResult result = SendResult{0};
        do {
            std::string record;
            result = table.nextToSend(status, scale, record);
            if (result == SendResult::More && record.empty()) {
                brokenInvariant("a record to send came out empty");
            }
        } while (result == SendResult::More && ++walked < kMaxWalk);
        if (!table.isConfigurationTable()) {
            break;
        }
    }
    table.exportCsv(outDirectory);
}

// Writes the bytes as the file of each of the tables `fileSigns` (scale number 0 for a table
// kept per scale) and imports it into a fresh handler object.
void importInto(const std::vector<std::string>& fileSigns, const std::string& scratchName,
                const std::uint8_t* data, std::size_t size) {
    fuzz_scratch::loadMessageTexts();
    const std::string& in = fuzz_scratch::directory(scratchName + "-in");
    const std::string& out = fuzz_scratch::directory(scratchName + "-out");
    LogForInput log(out);
    for (const std::string& fileSign : fileSigns) {
        std::unique_ptr<CsvTable> table = makeTable(fuzz_scratch::description(fileSign));
        fuzz_scratch::writeFile(table->csvFileName(in, 0), data, size);
        try {
            table->importCsv(in);
        } catch (const CTableExceptions&) {
            // A file without heading line.
            continue;
        }
        useImportedTable(*table, out);
    }
}

}  // namespace

void csvKeyedTable(const std::uint8_t* data, std::size_t size) {
    // Every keyed table of the set, the meta-tables included: the columns are found by their
    // headings, so one input reaches whichever table it names.
    importInto({"ARTI", "DEPT", "TEXT", "TDES", "ADES"}, "keyed", data, size);
}

void csvSingleRecordTable(const std::uint8_t* data, std::size_t size) {
    importInto({"SHOP"}, "single", data, size);
}

void csvPerScaleTable(const std::uint8_t* data, std::size_t size) {
    importInto({"CONF"}, "per-scale", data, size);
}

void csvPerScaleKeyedTable(const std::uint8_t* data, std::size_t size) {
    importInto({"KEYB"}, "per-scale-keyed", data, size);
}

// The first byte chooses the table of the set, the other bytes are one record as the scale
// sends it (from the table's bus sign on).
void recordDecoding(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    const TableDescription& description =
        fuzz_scratch::description(data[0] % fuzz_scratch::descriptionCount());
    const std::string record(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::unique_ptr<CsvTable> table = makeTable(description);
    table->layout().decodeRecord(record);
    std::string encoded;
    table->layout().encodeRecord(encoded);
    std::string line;
    writeCsvRecord(table->layout(), line);

    // The handler's way in: decode and store, then send what was stored.
    table->clearRecord();
    std::string status;
    table->storeReceived(status, 3, record);
    table->startSending(3);
    std::string again;
    table->nextToSend(status, 3, again);
    std::vector<InvalidValue> invalid;
    table->findInvalidValues(invalid);
}

// The bytes hold the TDES file, then the line "#ADES#", then the ADES file.
void descriptions(const std::uint8_t* data, std::size_t size) {
    fuzz_scratch::loadMessageTexts();
    static const std::string kSeparator = "\n#ADES#\n";
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string::size_type split = bytes.find(kSeparator);
    const std::string tdes = bytes.substr(0, split);
    const std::string ades =
        split == std::string::npos ? std::string() : bytes.substr(split + kSeparator.size());

    const std::string& directory = fuzz_scratch::directory("descriptions");
    fuzz_scratch::writeFile(directory + "TDES.csv", reinterpret_cast<const uint8_t*>(tdes.data()),
                            tdes.size());
    fuzz_scratch::writeFile(directory + "ADES.csv", reinterpret_cast<const uint8_t*>(ades.data()),
                            ades.size());

    TableCatalog catalog;
    if (!catalog.loadDescriptions(directory)) {
        if (catalog.tableCount() != 0) {
            brokenInvariant("descriptions that failed to load left data tables behind");
        }
        return;
    }
    // What a job does with the tables next: choose, and build heading lines and records.
    catalog.selectDataTables();
    catalog.selectConfigurationTables();
    catalog.selectArticleRange(0, 0xFFFFFFFFu);
    for (std::size_t i = 0; i < catalog.tableCount(); ++i) {
        CsvTable& table = *catalog.tableAt(i);
        table.headingLine();
        table.nameLine();
        table.clearRecord();
        std::string record;
        table.layout().encodeRecord(record);
        table.layout().decodeRecord(record);
        std::string line;
        writeCsvRecord(table.layout(), line);
    }
    catalog.saveAllTables(fuzz_scratch::directory("descriptions-out"));
}

}  // namespace fuzz_targets
