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
    if (!in_.is_open()) {
        return false;
    }
    utf8 = looksLikeUtf8();
    return true;
}

bool CsvInputFile::looksLikeUtf8() {
    static constexpr std::size_t kChunk = 1 << 16;
    std::string chunk(kChunk, '\0');
    bool multiByte = false;
    bool valid = true;
    // The sequence under way: bytes still to come, and the bounds of the next byte (which
    // exclude overlong forms, surrogates and values above U+10FFFF).
    int pending = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    while (valid && in_) {
        in_.read(&chunk[0], static_cast<std::streamsize>(kChunk));
        const auto count = static_cast<std::size_t>(in_.gcount());
        for (std::size_t i = 0; i < count && valid; ++i) {
            const auto b = static_cast<unsigned char>(chunk[i]);
            if (pending > 0) {
                valid = b >= low && b <= high;
                low = 0x80;
                high = 0xBF;
                --pending;
                continue;
            }
            if (b < 0x80) {
                continue;
            }
            multiByte = true;
            if (b >= 0xC2 && b <= 0xDF) {
                pending = 1;
            } else if (b >= 0xE0 && b <= 0xEF) {
                pending = 2;
                low = b == 0xE0 ? 0xA0 : 0x80;
                high = b == 0xED ? 0x9F : 0xBF;
            } else if (b >= 0xF0 && b <= 0xF4) {
                pending = 3;
                low = b == 0xF0 ? 0x90 : 0x80;
                high = b == 0xF4 ? 0x8F : 0xBF;
            } else {
                valid = false;
            }
        }
    }
    const bool readWhole = !in_.bad();
    in_.clear();
    in_.seekg(0);
    return readWhole && valid && pending == 0 && multiByte;
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
