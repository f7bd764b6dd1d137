#include "diag/status_lines.h"

#include <array>
#include <atomic>

#include "diag/message_texts.h"
#include "platform/main_window.h"

namespace {

std::atomic<bool> g_windowCreated{false};
std::atomic<bool> g_linesCreated{false};

// The caption label of each row; rows 4 and 5 have none.
constexpr Message kNoCaption = Message{0};
constexpr std::array<Message, platform::kStatusRows> kCaptionMessages = {
    Message::Status, Message::Job,   Message::Range, kNoCaption,
    kNoCaption,      Message::Scale, Message::Table};

}  // namespace

void setMainWindowCreated(bool created) {
    g_windowCreated = created;
}

void createStatusLines(int showCommand) {
    if (!g_windowCreated || g_messageTexts == nullptr) {
        return;
    }
    std::array<std::string, platform::kStatusRows> captions;
    std::array<bool, platform::kStatusRows> hasCaption{};
    for (int i = 0; i < platform::kStatusRows; ++i) {
        hasCaption[i] = kCaptionMessages[i] != kNoCaption;
        if (hasCaption[i]) {
            captions[i] = g_messageTexts->text(kCaptionMessages[i]);
        }
    }
    platform::createStatusControls(captions, hasCaption, showCommand);
    g_linesCreated = true;
}

void showLine(int row, const std::string& text) {
    if (g_linesCreated) {
        platform::setStatusLine(row, ": " + text);
    }
}

void showLine1(const std::string& text) {
    showLine(1, text);
}
void showLine2(const std::string& text) {
    showLine(2, text);
}
void showLine3(const std::string& text) {
    showLine(3, text);
}
void showLine4(const std::string& text) {
    showLine(4, text);
}
void showLine5(const std::string& text) {
    showLine(5, text);
}
void showLine6(const std::string& text) {
    showLine(6, text);
}
void showLine7(const std::string& text) {
    showLine(7, text);
}

void showTableProgress(const std::string& table, std::uint32_t done, std::uint32_t total) {
    if (g_linesCreated) {
        platform::setTableProgress(table, done, total);
    }
}

void showTableDone(const std::string& table, std::uint32_t records) {
    if (g_linesCreated) {
        platform::endTableProgress(table, records);
    }
}
