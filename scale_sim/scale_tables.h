// The records the simulated scale holds: raw record bytes per (header number, bus sign), in
// the order they were loaded or received. The simulated scale never decodes them.
//
// Data file format (one file, or every regular file of a directory in name order), lines
// ending in LF or CR LF:
//   # comment                 ignored, as are blank lines
//   table <number> <sign>     starts a table: header number (decimal, e.g. 1 or 01) and bus
//                             sign (two hexadecimal digits, e.g. 7E)
//   record <bytes>            one record of the current table: the reply content after the kind
//                             byte, up to (not including) ETX, in the escaped form of
//                             escaped_text.h (normally the bus sign, ETB and the attribute
//                             groups)
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace scale_sim {

class ScaleTables {
  public:
    // Adds the tables of `path` (file or directory). False with `error` set on a bad line.
    bool load(const std::string& path, std::string& error);

    // The next record of table (number, sign) into `record`; false at the table's end, which
    // also rewinds the table for the next request series.
    bool next(int number, unsigned char sign, std::string& record);
    // Appends a received record.
    void store(int number, unsigned char sign, const std::string& record);
    // The lowest bus sign below 7Eh held under `number`; false when there is none.
    bool firstDataSign(int number, unsigned char& sign) const;

  private:
    bool loadFile(const std::string& path, std::string& error);

    struct Table {
        std::vector<std::string> records;
        std::size_t cursor = 0;
    };
    std::map<std::pair<int, unsigned char>, Table> tables_;
};

}  // namespace scale_sim
