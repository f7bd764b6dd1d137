#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <utility>
#include <vector>

#include "catalog/table_catalog.h"
#include "diag/line_reader.h"
#include "platform/platform.h"
#include "support/test_files.h"
#include "tables/keyed_table.h"

using testing_support::TempDir;

namespace {

std::string programFile(const std::string& relative) {
    return platform::programDirectory() + platform::pathSeparator() + relative;
}

// The installed description directory of a model, as the job names it.
std::string modelDirectory(const std::string& name) {
    const std::string sep(1, platform::pathSeparator());
    return platform::programDirectory() + sep + name + sep;
}

// Records of one table of the simulated scale: (header number, bus sign) -> records in order.
using SampleTables = std::map<std::pair<int, int>, std::vector<std::string>>;

// Reads a sample data file of the simulated scale ("table <n> <hex sign>", "record <escaped
// bytes>": printable ASCII, "\\\\" and "\\xHH").
SampleTables readSamples(const std::string& path) {
    SampleTables tables;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.is_open()) << path;
    LineReader reader(in);
    std::string line;
    std::pair<int, int> current{-1, -1};
    while (reader.next(line) == LineReader::Result::Line) {
        if (line.rfind("table ", 0) == 0) {
            const std::size_t blank = line.find(' ', 6);
            current = {std::atoi(line.c_str() + 6),
                       static_cast<int>(std::strtol(line.c_str() + blank + 1, nullptr, 16))};
        } else if (line.rfind("record ", 0) == 0) {
            std::string bytes;
            for (std::size_t i = 7; i < line.size(); ++i) {
                if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '\\') {
                    bytes.push_back('\\');
                    ++i;
                } else if (line[i] == '\\' && i + 3 < line.size() + 0 && line[i + 1] == 'x') {
                    bytes.push_back(
                        static_cast<char>(std::strtol(line.substr(i + 2, 2).c_str(), nullptr, 16)));
                    i += 3;
                } else {
                    bytes.push_back(line[i]);
                }
            }
            tables[current].push_back(bytes);
        }
    }
    return tables;
}

Table* findTable(TableCatalog& catalog, int sign) {
    if (sign == 0x7E) {
        return &catalog.tdes();
    }
    if (sign == 0x7F) {
        return &catalog.ades();
    }
    for (std::size_t i = 0; i < catalog.tableCount(); ++i) {
        if (catalog.tableAt(i)->busSign() == sign) {
            return catalog.tableAt(i);
        }
    }
    return nullptr;
}

// Receives every sample record as a backup would, writes all tables as CSV files, reads them
// into a fresh catalog as a restore would and checks that each table sends exactly the sample
// records again. `descriptions` is the description directory; empty: the descriptions come
// from the sample's own TDES and ADES records.
void backupAndRestore(const std::string& sampleFile, std::string descriptions,
                      std::size_t tableCount) {
    const SampleTables samples = readSamples(programFile("../../../data/samples/" + sampleFile));
    ASSERT_FALSE(samples.empty());
    TempDir descDir;
    TempDir work;
    TableCatalog backup;
    std::string status;
    if (descriptions.empty()) {
        for (const auto& entry : samples) {
            if (entry.first.second == 0x7E || entry.first.second == 0x7F) {
                Table* meta = findTable(backup, entry.first.second);
                for (const std::string& record : entry.second) {
                    meta->storeReceived(status, entry.first.first, record + "\x03");
                }
            }
        }
        ASSERT_TRUE(backup.saveAllTables(descDir.withSeparator()));
        descriptions = descDir.withSeparator();
    }
    ASSERT_TRUE(backup.loadDescriptions(descriptions));
    ASSERT_EQ(backup.tableCount(), tableCount);

    for (const auto& entry : samples) {
        Table* table = findTable(backup, entry.first.second);
        ASSERT_NE(table, nullptr) << std::hex << entry.first.second;
        if (table->isMeta()) {
            continue;
        }
        table->prepareReceive(entry.first.first);
        for (const std::string& record : entry.second) {
            table->storeReceived(status, entry.first.first, record + "\x03");
        }
    }
    ASSERT_TRUE(backup.saveAllTables(work.withSeparator()));

    TableCatalog restore;
    ASSERT_TRUE(restore.loadDescriptions(descriptions));
    ASSERT_TRUE(restore.importAll(work.withSeparator()));
    for (const auto& entry : samples) {
        Table* table = findTable(restore, entry.first.second);
        ASSERT_NE(table, nullptr);
        std::vector<std::string> sent;
        table->startSending(entry.first.first);
        for (SendResult result = SendResult::More; result == SendResult::More;) {
            std::string request;
            result = table->nextToSend(status, entry.first.first, request);
            if (result == SendResult::Only || result == SendResult::More) {
                ASSERT_EQ(request.back(), '\x17');
                request.pop_back();  // the last ETB goes as the frame's ETX
                sent.push_back(request);
            }
        }
        EXPECT_EQ(sent, entry.second)
            << sampleFile << ": table " << table->fileSign() << ", number " << entry.first.first;
    }
}

}  // namespace

TEST(InstalledData, TheModelDescriptionsLoad) {
    TableCatalog catalog;
    ASSERT_TRUE(catalog.loadDescriptions(modelDirectory("109SCALE700")));
    EXPECT_EQ(catalog.tableCount(), 4u);
    ASSERT_TRUE(catalog.loadDescriptions(modelDirectory("109SCALE701")));
    ASSERT_EQ(catalog.tableCount(), 6u);
    for (std::size_t i = 0; i < catalog.tableCount(); ++i) {
        EXPECT_TRUE(catalog.tableAt(i)->isLayoutComplete()) << catalog.tableAt(i)->fileSign();
    }
    EXPECT_EQ(catalog.tableAt(0)->description().maxIndex, 999999u);
}

TEST(InstalledData, SampleScalesSurviveABackupAndARestoreByteForByte) {
    backupAndRestore("model700_scale.txt", modelDirectory("109SCALE700"), 4);
    backupAndRestore("model701_scale.txt", modelDirectory("109SCALE701"), 6);
    backupAndRestore("generic_scale.txt", "", 7);
}
