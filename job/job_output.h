#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

#include "diag/job_log.h"
#include "diag/message_texts.h"
#include "diag/messages.h"

// What the job's parts show and log: each does nothing while the log or the message texts are
// not loaded.
namespace job_output {

// printf-style formatting of a short text (up to 127 characters).
inline std::string format(const char* pattern, ...) {
    char buffer[128];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return buffer;
}

inline std::string text(Message message) {
    return g_messageTexts != nullptr ? g_messageTexts->text(message) : std::string();
}

inline void log(const std::string& entry) {
    if (g_log != nullptr) {
        g_log->add(entry);
    }
}

inline void logMessage(Message message) {
    if (g_log != nullptr) {
        g_log->addMessage(message);
    }
}

// Shows `line` with `show` (a status line) and logs it.
inline void showAndLog(void (*show)(const std::string&), const std::string& line) {
    show(line);
    log(line);
}

}  // namespace job_output
