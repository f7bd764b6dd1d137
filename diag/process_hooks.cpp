#include "diag/process_hooks.h"

#include "platform/platform.h"

namespace {

std::function<void()>& finishJobHandler() {
    static std::function<void()> handler;
    return handler;
}

MessageBoxHandler& messageBoxHandler() {
    static MessageBoxHandler handler;
    return handler;
}

void showBox(const char* caption, const std::string& text, platform::MessageIcon icon) {
    if (messageBoxHandler()) {
        messageBoxHandler()(caption, text);
    } else {
        platform::showMessageBox(caption, text, icon);
    }
}

}  // namespace

void finishJob() {
    if (finishJobHandler()) {
        finishJobHandler()();
    }
}

void setFinishJobHandler(std::function<void()> handler) {
    finishJobHandler() = std::move(handler);
}

void showError(const std::string& text) {
    showBox("Error", text, platform::MessageIcon::Error);
}

void showNotice(const std::string& text) {
    showBox("Meldung", text, platform::MessageIcon::Warning);
}

void setMessageBoxHandler(MessageBoxHandler handler) {
    messageBoxHandler() = std::move(handler);
}
