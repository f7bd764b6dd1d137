#include "diag/process_hooks.h"

#include "platform/platform.h"

namespace {

std::function<void()>& finishJobHandler() {
    static std::function<void()> handler;
    return handler;
}

// Written by the worker thread during its report, read by the main thread after joining it.
std::vector<std::string>& unwritten() {
    static std::vector<std::string> files;
    return files;
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

void noteUnwrittenFile(const std::string& path) {
    unwritten().push_back(path);
}

std::vector<std::string> unwrittenFiles() {
    return unwritten();
}

void clearUnwrittenFiles() {
    unwritten().clear();
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
