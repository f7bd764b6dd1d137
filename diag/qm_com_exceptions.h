#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "diag/messages.h"

// The one exception type of failures that end a job. It carries the text shown to the user:
// given literally, or looked up by message number in the message texts. Thrown by value,
// caught by reference, and caught only by the process shell, which calls report(). what() gives
// the same text.
class QmComExceptions : public std::exception {
  public:
    explicit QmComExceptions(const std::string& text);
    // The text of message `number`; "Error" while no message texts are loaded (the number is
    // then lost), an empty text when the message texts lack the number.
    explicit QmComExceptions(std::int32_t number);
    explicit QmComExceptions(Message message) : QmComExceptions(messageNumber(message)) {}

    const char* what() const noexcept override { return message_.c_str(); }

    const char* text() const { return message_.c_str(); }
    const std::string& message() const { return message_; }

    // Records the failure: with a log, "Abort with Error" and the text as two log entries and
    // the text in the error file of the log's directory (an error file that cannot be written
    // is noted for the shell, noteUnwrittenFile); without a log, an "Error" box. Then ends the
    // job through finishJob().
    void report() const;

  private:
    std::string message_;
};
