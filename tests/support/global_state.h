#pragma once

#include <string>
#include <utility>
#include <vector>

#include "diag/message_texts.h"

namespace testing_support {

// Installs message texts (from the given "Messages.res" content) as g_messageTexts for the
// life of the object, and records message boxes and finishJob calls instead of showing or
// ending anything. Restores the previous state when it goes.
class ProcessFixture {
  public:
    explicit ProcessFixture(const std::string& messagesContent = "");
    ~ProcessFixture();
    ProcessFixture(const ProcessFixture&) = delete;
    ProcessFixture& operator=(const ProcessFixture&) = delete;

    // Each box as (caption, text), in order.
    std::vector<std::pair<std::string, std::string>> boxes;
    int finishCalls = 0;

  private:
    MessageTexts* previousTexts_;
    MessageTexts* texts_ = nullptr;
};

}  // namespace testing_support
