#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "diag/messages.h"

// The numbered message texts, read once from "Messages.res" in the program directory. Every
// user-visible text of a job is asked for by number; a number the file lacks gives an empty
// text.
class MessageTexts {
  public:
    // Loads `directory` + separator + "Messages.res". Throws QmComExceptions with the literal
    // texts "Can't open File Messages.res" or "Wrong-Format in Messages.res".
    explicit MessageTexts(const std::string& directory);
    ~MessageTexts() = default;

    // The text of `number`, or an empty text.
    std::string text(std::int32_t number) const;
    std::string text(Message message) const { return text(messageNumber(message)); }

  private:
    std::map<std::int32_t, std::string> texts_;
};

// The process's message texts; null while none are loaded. Written only by the process shell
// before the worker starts and after it has ended.
extern MessageTexts* g_messageTexts;
