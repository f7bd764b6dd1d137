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
    if (file_ != nullptr) {
        platform::closeNewFile(file_, path_);
        file_ = nullptr;
        std::remove(temporary_.c_str());
    }
}

bool CsvOutputFile::open(const std::string& path) {
    discard();
    failed_ = true;
    buffer_.clear();
    std::string refusal;
    if (!outputTarget(path, path_, refusal)) {
        return false;
    }
    file_ = platform::createTemporaryFile(path_, temporary_);
    failed_ = file_ == nullptr;
    return file_ != nullptr;
}

void CsvOutputFile::write(const std::string& bytes) {
    if (file_ != nullptr && !failed_) {
        buffer_ += bytes;
        if (buffer_.size() >= kBufferSize) {
            flush();
        }
    }
}

void CsvOutputFile::flush() {
    if (!buffer_.empty() && !failed_ &&
        !platform::writeNewFile(file_, buffer_.data(), buffer_.size())) {
        failed_ = true;
    }
    buffer_.clear();
}

bool CsvOutputFile::commit() {
    if (file_ == nullptr) {
        return false;
    }
    flush();
    if (failed_) {
        discard();
        return false;
    }
    platform::NewFile* file = file_;
    file_ = nullptr;
    if (!platform::closeNewFile(file, path_) || !platform::replaceFile(temporary_, path_)) {
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
