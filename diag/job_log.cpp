#include "diag/job_log.h"

#include <cstdio>

#include "diag/message_texts.h"
#include "diag/output_file.h"
#include "diag/version.h"
#include "platform/platform.h"

JobLog* g_log = nullptr;

namespace {

// Appends `line` with its control bytes (below 20h, and 7Fh) written as "\x" and two
// lower-case hex digits.
void appendDisarmed(std::string& out, const std::string& line) {
    static const char kDigits[] = "0123456789abcdef";
    for (char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out.push_back(kDigits[byte >> 4]);
            out.push_back(kDigits[byte & 0x0F]);
        } else {
            out.push_back(c);
        }
    }
}

}  // namespace

JobLog::JobLog(const std::string& directory) {
    platform::LocalTime now = platform::localTime();
    char date[16];
    std::snprintf(date, sizeof date, "%02d/%02d/%02d", now.month % 100, now.day % 100,
                  now.year % 100);
    lines_.emplace_back(date);
    add(std::string(kVersionBanner) + " Log-was Opened");
    directory_ = directory;
}

JobLog::~JobLog() {
    close();
    platform::releaseFileLock(lock_);
}

bool JobLog::close() {
    if (closed_) {
        return written_;
    }
    closed_ = true;
    add("Log-Closed");
    std::string content;
    std::size_t size = 0;
    for (const std::string& line : lines_) {
        size += line.size() + 2;
    }
    content.reserve(size);
    for (const std::string& line : lines_) {
        appendDisarmed(content, line);
        content += "\r\n";
    }
    written_ = writeOutputFile(filePath(), content, &refusal_);
    return written_;
}

void JobLog::add(const std::string& text) {
    platform::LocalTime now = platform::localTime();
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "%04d %02d:%02d:%02d,%03u: ", entryCounter_, now.hour,
                  now.minute, now.second, static_cast<unsigned>(now.millisecond));
    ++entryCounter_;
    lines_.push_back(prefix + text);
}

void JobLog::addMessage(std::int32_t number) {
    if (g_messageTexts == nullptr) {
        return;
    }
    add(g_messageTexts->text(number));
}
