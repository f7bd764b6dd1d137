#include "support/global_state.h"

#include "diag/process_hooks.h"
#include "support/test_files.h"

namespace testing_support {

ProcessFixture::ProcessFixture(const std::string& messagesContent)
    : previousTexts_(g_messageTexts) {
    if (!messagesContent.empty()) {
        TempDir dir;
        writeFile(dir.file("Messages.res"), messagesContent);
        texts_ = new MessageTexts(dir.path());
        g_messageTexts = texts_;
    }
    setMessageBoxHandler([this](const std::string& caption, const std::string& text) {
        boxes.emplace_back(caption, text);
    });
    setFinishJobHandler([this] { ++finishCalls; });
}

ProcessFixture::~ProcessFixture() {
    setMessageBoxHandler(nullptr);
    setFinishJobHandler(nullptr);
    g_messageTexts = previousTexts_;
    delete texts_;
}

}  // namespace testing_support
