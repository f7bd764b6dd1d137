// The console stand-in for the main window: status rows on standard output, signals for the
// close box, and a message loop that waits for a signal without using the processor.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/main_window.h"
#include "platform/net_device.h"
#include "platform/posix/utf8_display.h"

namespace platform {
namespace {

// SIGUSR1 is the "quit message": closeMainWindow() raises it, the loop takes it like a close.
constexpr int kQuitSignal = SIGUSR1;

struct Console {
    std::mutex mutex;
    bool created = false;
    bool terminal = false;
    std::array<std::string, kStatusRows> captions;
    std::array<std::string, kStatusRows> texts;
};

Console& console() {
    static Console instance;
    return instance;
}

sigset_t loopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, kQuitSignal);
    return set;
}

void writeOut(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

// A row as the console shows it: the caption (empty for rows without one) followed by what the
// value line shows (": " and the text). Texts come from the scale and from CSV files: a control
// byte or DEL is shown as "?", so that no escape sequence reaches the terminal.
std::string rowText(const Console& c, int index) {
    std::string row = c.captions[index] + c.texts[index];
    for (char& ch : row) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F) {
            ch = '?';
        }
    }
    return toUtf8(row);
}

// On a terminal the seven rows stand below each other and are redrawn in place.
void redrawTerminal(Console& c, bool first) {
    std::string out;
    if (!first) {
        out += "\x1b[" + std::to_string(kStatusRows) + "A";
    }
    for (int i = 0; i < kStatusRows; ++i) {
        out += "\r\x1b[2K" + rowText(c, i) + "\n";
    }
    writeOut(out);
}

}  // namespace

bool createMainWindow(const std::string&, int) {
    // Blocked in this thread and so in every thread started later: the signals then wait for
    // runMessageLoop's sigwait instead of ending the process.
    sigset_t set = loopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // A file that reaches the size limit must fail its write (and be reported as an output file
    // that could not be written), not end the process in the middle of the write phase.
    signal(SIGXFSZ, SIG_IGN);
    return true;
}

void createStatusControls(const std::array<std::string, kStatusRows>& captions,
                          const std::array<bool, kStatusRows>& hasCaption, int) {
    Console& c = console();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.created = true;
    c.terminal = isatty(STDOUT_FILENO) != 0;
    for (int i = 0; i < kStatusRows; ++i) {
        c.captions[i] = hasCaption[i] ? captions[i] : std::string();
        c.texts[i] = ":";
    }
    if (c.terminal) {
        redrawTerminal(c, true);
    }
}

void setStatusLine(int row, const std::string& text) {
    Console& c = console();
    std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.created || row < 1 || row > kStatusRows) {
        return;
    }
    c.texts[row - 1] = text;
    if (c.terminal) {
        redrawTerminal(c, false);
    } else {
        writeOut(rowText(c, row - 1) + "\n");
    }
}

void runMessageLoop() {
    sigset_t set = loopSignals();
    int received = 0;
    while (sigwait(&set, &received) != 0) {
    }
    noteWindowClosed();
}

void closeMainWindow() {
    kill(getpid(), kQuitSignal);
}

int initialShowCommand() {
    return 10;
}

}  // namespace platform
