#pragma once

#include <fstream>
#include <string>

#include "platform/platform.h"

// A CSV file being written. The bytes go to a temporary file beside the target
// (platform::createTemporaryFile), which replaces the target only when commit() finds every
// write and the close successful: a failed export never destroys the previous file. An object
// destroyed without commit() removes its temporary file. A target that is a symbolic link of
// the running user or root is replaced at the link's target; a link of another user is not
// followed (open() fails and the log says why). The new file keeps the old one's permission
// bits.
class CsvOutputFile {
  public:
    CsvOutputFile() = default;
    ~CsvOutputFile();
    CsvOutputFile(const CsvOutputFile&) = delete;
    CsvOutputFile& operator=(const CsvOutputFile&) = delete;

    // False when the temporary file cannot be created or the target is another user's link;
    // writes are then ignored.
    bool open(const std::string& path);
    void write(const std::string& bytes);
    // Closes and renames over the target. True only when the file was opened, every write
    // succeeded and the rename worked.
    bool commit();

  private:
    static constexpr std::size_t kBufferSize = 1 << 16;

    void discard();
    void flush();

    platform::NewFile* file_ = nullptr;
    std::string path_;
    std::string temporary_;
    std::string buffer_;
    bool failed_ = false;
};

// The fields of one line of a CSV file, in order: every ";" separates two fields, so a line
// with n separators has n + 1 fields, empty ones included (an empty line has one empty field).
// There is no quoting. The line must outlive the object.
class CsvFields {
  public:
    explicit CsvFields(const std::string& line) : line_(line) {}

    // The next field; false after the last one.
    bool next(std::string& field) {
        if (done_) {
            return false;
        }
        std::size_t end = line_.find(';', start_);
        if (end == std::string::npos) {
            end = line_.size();
            done_ = true;
        }
        field.assign(line_, start_, end - start_);
        start_ = end + 1;
        return true;
    }

  private:
    const std::string& line_;
    std::size_t start_ = 0;
    bool done_ = false;
};

// A CSV file being read, in binary mode: lines end with LF or CR LF, and a last line without
// line end is still a line. Of a line longer than kMaxLineLength bytes (longer than any record
// a table can describe) only the first kMaxLineLength bytes are kept, the rest is skipped and
// the log says so. utf8 is set when the file is read as UTF-8: by open() when its bytes are
// valid UTF-8 holding at least one multi-byte sequence, by the reader of the heading line when
// the file starts with a UTF-8 byte-order mark.
class CsvInputFile {
  public:
    static constexpr std::size_t kMaxLineLength = 1024 * 1024;

    bool open(const std::string& path);
    // The next line without its line end; false at the end of the file.
    bool nextLine(std::string& line);
    // Whether reading stopped at a read error rather than at the end of the file.
    bool readFailed() const { return in_.bad(); }
    const std::string& path() const { return path_; }
    // The number of the line nextLine read last (from 1).
    std::size_t lineNumber() const { return lineNumber_; }

    bool utf8 = false;

  private:
    // Reads the whole file once: true when it is valid UTF-8 and holds a multi-byte sequence.
    // Leaves the stream at the start of the file.
    bool looksLikeUtf8();

    std::ifstream in_;
    std::string path_;
    std::size_t lineNumber_ = 0;
};
