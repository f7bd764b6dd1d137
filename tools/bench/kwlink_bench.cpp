// Times the CSV export and import of a 100 000-record article table against a plain line-by-line
// copy of the same file, measures the heap the stored records take, and times the loading of
// descriptions for 250 tables with 9999 attribute rows.

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "catalog/description_set.h"
#include "catalog/table_catalog.h"
#include "tables/keyed_table.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

void add(TableDescription& d, const char* sign, unsigned bus, unsigned fields, unsigned bytes,
         unsigned flags, const char* name) {
    AttributeDescription& a = d.attributes[d.attributeCount++];
    a.fileSign = sign;
    a.busSign = static_cast<std::uint8_t>(bus);
    a.fieldCount = fields;
    a.byteCount = bytes;
    a.flags = flags;
    a.name = name;
}

// An article table of a width a shop uses: names, prices, codes, a few flags and four text lines.
TableDescription articleTable() {
    TableDescription d;
    d.fileSign = "ARTI";
    d.busSign = 0x41;
    d.tableType = TableType::Article;
    d.name = "ARTICLES";
    d.minIndex = 1;
    d.maxIndex = 999999;
    add(d, "ANUM", 0x61, 0, 4, 7, "ARTICLE NUMBER");
    add(d, "ANA1", 0x62, 1, 25, 6, "NAME 1");
    add(d, "ANA2", 0x63, 1, 25, 6, "NAME 2");
    add(d, "PRIC", 0x64, 1, 4, 0x101, "PRICE");
    add(d, "PRI2", 0x65, 3, 12, 0x101, "PRICE STEPS");
    add(d, "TARE", 0x66, 1, 2, 1, "TARE");
    add(d, "EANC", 0x67, 1, 13, 9, "EAN CODE");
    add(d, "UNIT", 0x68, 1, 1, 3, "UNIT");
    add(d, "GRPN", 0x69, 1, 2, 1, "GROUP");
    add(d, "BBDY", 0x6A, 1, 2, 0x101, "BEST BEFORE DAYS");
    add(d, "FLGS", 0x6B, 1, 2, 0, "FLAGS");
    add(d, "TEXT", 0x6C, 4, 0x4100, 4, "TEXT LINES");
    return d;
}

void fillArticle(Table& t, int n) {
    const std::string s = std::to_string(n);
    t.setKey(n);
    t.slot(0) = "Article number " + s;
    t.slot(1) = "Fresh produce";
    t.slot(2) = std::to_string(100 + n % 5000);
    t.slot(3) = "199";
    t.slot(4) = "179";
    t.slot(5) = "159";
    t.slot(6) = "12";
    t.slot(7) = "4000000" + std::to_string(100000 + n % 900000);
    t.slot(8) = "k";
    t.slot(9) = std::to_string(n % 99);
    t.slot(10) = "14";
    t.slot(11) = "3F";
    t.slot(12) = "2Keep refrigerated";
    t.slot(13) = "1Ingredients: " + s;
    t.slot(14) = "";
    t.slot(15) = "0";
}

void writeDescriptions(const std::string& dir) {
    std::string tdes =
        "TANU;TFSG;TBSG;TATY;TANE;TIMA;\r\nI;F;B;T;N;M;\r\n"
        "1;TDES;7E;2;TABLE-DESCRIPTION;FFFF\r\n2;ADES;7F;2;ATTRIBUT-DESCRIPTION;FFFF\r\n";
    std::string ades =
        "ATNU;TFSG;AFSG;ABSG;ATNB;ATFG;ATFT;\r\nI;F;A;B;N;F;T;\r\n"
        "1;TDES;TANU;61;2;8;INDEX\r\n2;TDES;TFSG;62;4;5;CSV FILE\r\n"
        "3;TDES;TBSG;63;1;1;BUS SIGN\r\n4;TDES;TATY;64;1;1;TABLE TYPE\r\n"
        "5;TDES;TANE;65;19;5;TABLE NAME\r\n6;TDES;TIMA;66;2;1;MAX INDEX\r\n"
        "7;ADES;ATNU;61;2;8;INDEX\r\n8;ADES;TFSG;62;4;5;CSV FILE\r\n"
        "9;ADES;AFSG;63;4;5;ATT SIGN\r\n10;ADES;ABSG;64;1;1;BUS SIGN\r\n"
        "11;ADES;ATNB;65;2;1;NR BYTES-FIELDS\r\n12;ADES;ATFG;66;2;1;FLAGS\r\n"
        "13;ADES;ATFT;67;19;5;ATT NAME\r\n";
    char line[128];
    for (int t = 0; t < 250; ++t) {
        std::snprintf(line, sizeof line, "%d;T%03d;%X;2;TABLE %d;FF\r\n", t + 3, t, 0x20 + t % 0xDF,
                      t);
        tdes += line;
    }
    // 9986 attribute rows, spread over the 250 tables in turn.
    for (int key = 14; key <= 9999; ++key) {
        const int table = (key - 14) % 250;
        const int index = (key - 14) / 250;
        std::snprintf(line, sizeof line, "%d;T%03d;A%03d;%X;%s;%s;ATTRIBUTE\r\n", key, table, index,
                      0x21 + index, index == 0 ? "2" : "19", index == 0 ? "8" : "5");
        ades += line;
    }
    std::ofstream(dir + "TDES.csv", std::ios::binary) << tdes;
    std::ofstream(dir + "ADES.csv", std::ios::binary) << ades;
}

}  // namespace

int main(int argc, char** argv) {
    static const char kUsage[] =
        "usage: kwlink-bench [DIRECTORY]\n"
        "Times the CSV export and import of a 100 000-record article table and the loading of\n"
        "descriptions, writing its files into DIRECTORY (made if missing; default\n"
        "/tmp/kwlink-bench).\n";
    const std::string argument = argc > 1 ? argv[1] : "";
    if (argument == "--help" || argument == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc > 2 || (!argument.empty() && argument[0] == '-')) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string dir = argument.empty() ? "/tmp/kwlink-bench" : argument;
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "kwlink-bench: cannot make %s: %s\n", dir.c_str(),
                     error.message().c_str());
        return 1;
    }
    dir += "/";
    constexpr int kRecords = 100000;

    double exportSeconds = 0;
    {
        KeyedTable table(articleTable());
        for (int n = 1; n <= kRecords; ++n) {
            fillArticle(table, n);
            table.storeRecord(static_cast<std::uint32_t>(n));
        }
        for (int run = 0; run < 3; ++run) {
            const auto start = Clock::now();
            if (!table.exportCsv(dir)) {
                std::fprintf(stderr, "export failed\n");
                return 1;
            }
            const double seconds = secondsSince(start);
            exportSeconds = run == 0 ? seconds : std::min(exportSeconds, seconds);
        }
    }
    const std::string csv = dir + "ARTI.csv";
    std::ifstream sizeProbe(csv, std::ios::binary | std::ios::ate);
    const double fileBytes = static_cast<double>(sizeProbe.tellg());

    malloc_trim(0);
    const std::size_t heapBefore = heapInUse();
    const long residentBefore = residentBytes();
    double importSeconds = 0;
    double heapPerRecord = 0;
    double residentGrowth = 0;
    {
        KeyedTable table(articleTable());
        for (int run = 0; run < 3; ++run) {
            const auto start = Clock::now();
            table.importCsv(dir);
            const double seconds = secondsSince(start);
            importSeconds = run == 0 ? seconds : std::min(importSeconds, seconds);
            if (run == 0) {
                heapPerRecord = static_cast<double>(heapInUse() - heapBefore) / kRecords;
                residentGrowth = static_cast<double>(residentBytes() - residentBefore);
            }
        }
        if (table.records().size() != kRecords) {
            std::fprintf(stderr, "import gave %zu records\n", table.records().size());
            return 1;
        }
    }

    double copySeconds = 0;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        std::ifstream in(csv, std::ios::binary);
        std::ofstream out(dir + "copy.csv", std::ios::binary | std::ios::trunc);
        std::string line;
        while (std::getline(in, line)) {
            out << line << '\n';
        }
        out.close();
        const double seconds = secondsSince(start);
        copySeconds = run == 0 ? seconds : std::min(copySeconds, seconds);
    }

    writeDescriptions(dir);
    double loadSeconds = 0;
    double deriveSeconds = 0;
    std::size_t tables = 0;
    {
        TableCatalog catalog;
        const auto start = Clock::now();
        if (!catalog.loadDescriptions(dir)) {
            std::fprintf(stderr, "loadDescriptions failed\n");
            return 1;
        }
        loadSeconds = secondsSince(start);
        tables = catalog.tableCount();
        const auto deriveStart = Clock::now();
        DescriptionSet set(catalog.tdes(), catalog.ades());
        deriveSeconds = secondsSince(deriveStart);
    }

    std::printf("article table: %d records, CSV file %.0f bytes (%.0f bytes a line)\n", kRecords,
                fileBytes, fileBytes / kRecords);
    std::printf("plain getline copy      %8.1f ms\n", copySeconds * 1000);
    std::printf("export                  %8.1f ms  (%.2f x copy)\n", exportSeconds * 1000,
                exportSeconds / copySeconds);
    std::printf("import                  %8.1f ms  (%.2f x copy)\n", importSeconds * 1000,
                importSeconds / copySeconds);
    std::printf("import + export         %8.2f x copy (goal: at most 4)\n",
                (importSeconds + exportSeconds) / copySeconds);
    std::printf("heap per stored record  %8.0f bytes (%.2f x its CSV line)\n", heapPerRecord,
                heapPerRecord * kRecords / fileBytes);
    std::printf("resident growth         %8.2f x the CSV file (goal: under 3)\n",
                residentGrowth / fileBytes);
    std::printf(
        "loadDescriptions        %8.1f ms for %zu tables, 9999 attribute rows "
        "(derivation alone %.1f ms; goal: under 50)\n",
        loadSeconds * 1000, tables, deriveSeconds * 1000);
    return 0;
}
