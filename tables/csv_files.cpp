#include "tables/csv_files.h"

#include <cstdio>

#include "diag/job_log.h"
#include "diag/line_reader.h"
#include "diag/output_file.h"
#include "platform/platform.h"

CsvOutputFile::~CsvOutputFile() {
    discard();
}

void CsvOutputFile::discard() {
    if (opened_) {
        out_.close();
        std::remove(temporary_.c_str());
        opened_ = false;
    }
}

bool CsvOutputFile::open(const std::string& path) {
    discard();
    path_ = platform::resolveLinks(path);
    temporary_ = temporaryFileName(path_);
    failed_ = false;
    buffer_.clear();
    out_.open(temporary_, std::ios::binary | std::ios::trunc);
    opened_ = out_.is_open();
    if (!opened_) {
        failed_ = true;
    }
    return opened_;
}

void CsvOutputFile::write(const std::string& bytes) {
    if (opened_ && !failed_) {
        buffer_ += bytes;
        if (buffer_.size() >= kBufferSize) {
            flush();
        }
    }
}

void CsvOutputFile::flush() {
    if (!buffer_.empty() && !failed_) {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        if (!out_) {
            failed_ = true;
        }
    }
    buffer_.clear();
}

bool CsvOutputFile::commit() {
    if (!opened_) {
        return false;
    }
    flush();
    out_.close();
    if (failed_ || out_.fail()) {
        discard();
        return false;
    }
    opened_ = false;
    if (!platform::replaceFile(temporary_, path_)) {
        std::remove(temporary_.c_str());
        return false;
    }
    return true;
}

bool CsvInputFile::open(const std::string& path) {
    utf8 = false;
    path_ = path;
    lineNumber_ = 0;
    in_.open(path, std::ios::binary);
    return in_.is_open();
}

bool CsvInputFile::nextLine(std::string& line) {
    LineReader reader(in_, kMaxLineLength);
    if (reader.next(line) != LineReader::Result::Line) {
        return false;
    }
    ++lineNumber_;
    if (reader.truncated() && g_log != nullptr) {
        g_log->add(path_ + ", line " + std::to_string(lineNumber_) + ": longer than " +
                   std::to_string(kMaxLineLength) + " bytes, the rest of the line was skipped");
    }
    return true;
}
