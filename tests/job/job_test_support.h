#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "diag/message_texts.h"
#include "diag/qm_com_exceptions.h"
#include "platform/platform.h"

// Loads the message texts that lie beside the test executable, so that a QmComExceptions
// carries the text of its message number and a test can tell error 7 from error 8. The
// process-wide pointer is reset when the test ends.
class WithMessageTexts : public ::testing::Test {
  protected:
    void SetUp() override {
        texts_ = std::make_unique<MessageTexts>(platform::programDirectory());
        g_messageTexts = texts_.get();
        ASSERT_FALSE(texts_->text(1).empty());
        ASSERT_NE(texts_->text(7), texts_->text(8));
    }
    void TearDown() override { g_messageTexts = nullptr; }

    std::string messageText(int number) const { return texts_->text(number); }

  private:
    std::unique_ptr<MessageTexts> texts_;
};

// Runs `action` and returns the text of the QmComExceptions it throws; fails the test when it
// throws nothing.
template <typename Action>
std::string thrownText(Action action) {
    try {
        action();
    } catch (const QmComExceptions& e) {
        return e.message();
    }
    ADD_FAILURE() << "no QmComExceptions thrown";
    return std::string();
}
