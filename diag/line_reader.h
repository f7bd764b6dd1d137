#pragma once

#include <istream>
#include <string>

// Reads the lines of a text file that was opened in binary mode. A line ends at LF; a CR
// right before the LF (a CR LF file) is dropped, so both kinds of file read alike on every
// platform. A last line without a line end is still a line.
class LineReader {
  public:
    enum class Result { Line, End };

    explicit LineReader(std::istream& in) : in_(in) {}

    // Reads the next line into `line` (without its line end). End when the file holds no
    // further line.
    Result next(std::string& line);

  private:
    std::istream& in_;
};
