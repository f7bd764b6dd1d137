#pragma once

#include <cstddef>
#include <istream>
#include <limits>
#include <string>

// Reads the lines of a text file that was opened in binary mode. A line ends at LF; a CR
// right before the LF (a CR LF file) is dropped, so both kinds of file read alike on every
// platform. A last line without a line end is still a line. At most `maxLength` bytes of a
// line are kept: the rest of a longer line is read past and dropped, so that one endless line
// cannot take all the memory; truncated() tells the caller.
class LineReader {
  public:
    enum class Result { Line, End };
    static constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

    explicit LineReader(std::istream& in, std::size_t maxLength = kNoLimit)
        : in_(in), maxLength_(maxLength) {}

    // Reads the next line into `line` (without its line end). End when the file holds no
    // further line.
    Result next(std::string& line);
    // Whether the line last read was longer than maxLength (its end was dropped).
    bool truncated() const { return truncated_; }

  private:
    Result readLine(std::string& line);

    std::istream& in_;
    std::size_t maxLength_;
    bool truncated_ = false;
};
