#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diag/messages.h"
#include "platform/platform.h"

// The log of one job: numbered, time-stamped entries held in memory and written as
// "Kwlink.log" into the job's working directory when the log is destroyed. Used by one thread
// at a time (see the process shell); no lock.
class JobLog {
  public:
    // `directory` is the working directory, ending with the path separator. Creates the date
    // line and entry 0000 (the version banner and " Log-was Opened"); writes nothing yet.
    explicit JobLog(const std::string& directory);
    // Closes the log (unless close() did) and releases the directory lock it holds.
    ~JobLog();

    // Adds "Log-Closed" and writes every line, each ending with CR LF, replacing the file of an
    // earlier run. A byte below 20h and the byte 7Fh inside a line are written as "\x" and two
    // lower-case hex digits, so that texts from a scale or a CSV file cannot steer the terminal
    // of whoever reads the log; bytes from 80h on stay (Windows-1252 text). True when the file
    // was written; later calls add and write nothing and return the first result.
    bool close();
    // Why close() wrote nothing, when the file was another user's link (empty otherwise).
    const std::string& refusal() const { return refusal_; }
    // The file close() writes.
    std::string filePath() const { return directory_ + "Kwlink.log"; }
    // Keeps the lock of the working directory until the log has been written: the log is the
    // last thing a job writes there.
    void holdLock(platform::FileLock* lock) { lock_ = lock; }

    // Appends an entry: "%04d HH:MM:SS,mmm: " and the text, unchanged.
    void add(const std::string& text);
    // Appends an entry with the text of message `number` (empty when the file lacks it). Does
    // nothing, and uses no entry number, while no message texts are loaded.
    void addMessage(std::int32_t number);
    void addMessage(Message message) { addMessage(messageNumber(message)); }

    std::string directory() const { return directory_; }
    const std::vector<std::string>& lines() const { return lines_; }

  private:
    std::string directory_;
    std::vector<std::string> lines_;
    std::int32_t entryCounter_ = 0;
    bool closed_ = false;
    bool written_ = false;
    std::string refusal_;
    platform::FileLock* lock_ = nullptr;
};

// The job's log; null until the job has created it. Deleted last at shutdown.
extern JobLog* g_log;
