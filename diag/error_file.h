#pragma once

#include <string>

// "Kwlink.Err": the text of the job's fatal failure, left beside the log. All the work is done
// by the constructor; a file that cannot be written is skipped silently.
class ErrorFile {
  public:
    // Writes exactly the bytes of `text` (no line end) to `directory` + "Kwlink.Err";
    // `directory` ends with the path separator.
    ErrorFile(const std::string& directory, const std::string& text);
    virtual ~ErrorFile() = default;
};
