#pragma once

#include <string>

// "Kwlink.Err": the text of the job's fatal failure, left beside the log. All the work is done
// by the constructor; written() tells whether the file could be written.
class ErrorFile {
  public:
    // Writes exactly the bytes of `text` (no line end) to `directory` + "Kwlink.Err";
    // `directory` ends with the path separator.
    ErrorFile(const std::string& directory, const std::string& text);
    ~ErrorFile() = default;

    bool written() const { return written_; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    bool written_ = false;
};
