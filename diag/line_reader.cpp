#include "diag/line_reader.h"

LineReader::Result LineReader::next(std::string& line) {
    line.clear();
    if (!std::getline(in_, line)) {
        // getline fails without extracting anything only at the end of the file; a last line
        // without LF sets eof but not fail, and is returned below.
        return Result::End;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return Result::Line;
}
