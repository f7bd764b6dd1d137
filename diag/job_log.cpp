#include "diag/job_log.h"

#include <cstdio>

#include "diag/message_texts.h"
#include "diag/output_file.h"
#include "diag/version.h"
#include "platform/platform.h"

JobLog* g_log = nullptr;

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
        content += line;
        content += "\r\n";
    }
    written_ = writeOutputFile(filePath(), content);
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
