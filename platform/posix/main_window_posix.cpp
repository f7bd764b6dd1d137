// The console stand-in for the main window: status rows on standard output, signals for the
// close box, and a message loop that waits for a signal without using the processor.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
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
    // The table whose records are being moved (setTableProgress), shown on its row.
    bool progress = false;
    std::string progressTable;
    std::uint32_t done = 0;
    std::uint32_t total = 0;
    std::chrono::steady_clock::time_point started;
};

// The row the table being moved is shown on.
constexpr int kTableRow = 7;

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

// Text as the console shows it. Texts come from the scale and from CSV files: a control byte or
// DEL is shown as "?", so that no escape sequence reaches the terminal.
std::string displayText(std::string text) {
    for (char& ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F) {
            ch = '?';
        }
    }
    return toUtf8(text);
}

// A row as the console shows it: the caption (empty for rows without one) followed by what the
// value line shows (": " and the text).
std::string rowText(const Console& c, int index) {
    return displayText(c.captions[index] + c.texts[index]);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// "  (n of N, m:ss left)": the records moved and the time the rest takes at the rate measured
// so far; without a known total nothing.
std::string progressText(const Console& c) {
    if (!c.progress || c.total == 0) {
        return std::string();
    }
    std::string out = "  (" + std::to_string(c.done) + " of " + std::to_string(c.total);
    if (c.done > 0 && c.done <= c.total) {
        const auto left =
            static_cast<long>(secondsSince(c.started) * (c.total - c.done) / c.done + 0.5);
        char text[32];
        std::snprintf(text, sizeof text, ", %ld:%02ld left", left / 60, left % 60);
        out += text;
    }
    return out + ")";
}

// On a terminal the seven rows stand below each other and are redrawn in place.
void redrawTerminal(Console& c, bool first) {
    std::string out;
    if (!first) {
        out += "\x1b[" + std::to_string(kStatusRows) + "A";
    }
    for (int i = 0; i < kStatusRows; ++i) {
        out += "\r\x1b[2K" + rowText(c, i) + (i == kTableRow - 1 ? progressText(c) : "") + "\n";
    }
    writeOut(out);
}

// Without a terminal (a service, a cron job, a pipe) every update is one line: the row's
// caption and its text. A row without caption is its text alone, a row without text is not
// written, and the records of a table give one line when the table is through.
void writeLine(Console& c, int index) {
    if (c.progress && index == kTableRow - 1) {
        return;
    }
    std::string text = c.texts[index];
    if (text.compare(0, 1, ":") == 0) {
        text.erase(0, text.compare(0, 2, ": ") == 0 ? 2 : 1);
    }
    if (text.find_first_not_of(' ') == std::string::npos) {
        return;
    }
    writeOut((c.captions[index].empty() ? displayText(text) : rowText(c, index)) + "\n");
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
        writeLine(c, row - 1);
    }
}

void setTableProgress(const std::string& table, std::uint32_t done, std::uint32_t total) {
    Console& c = console();
    std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.created) {
        return;
    }
    if (!c.progress || done == 0 || table != c.progressTable) {
        c.started = std::chrono::steady_clock::now();
    }
    c.progress = true;
    c.progressTable = table;
    c.done = done;
    c.total = total;
    if (c.terminal) {
        redrawTerminal(c, false);
    }
}

void endTableProgress(const std::string& table, std::uint32_t records) {
    Console& c = console();
    std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.created) {
        return;
    }
    const double seconds = c.progress ? secondsSince(c.started) : 0.0;
    c.progress = false;
    if (c.terminal) {
        redrawTerminal(c, false);
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, ": %u records in %.1f s", static_cast<unsigned>(records),
                  seconds);
    const std::string saved = c.texts[kTableRow - 1];
    c.texts[kTableRow - 1] = ": " + table + text;
    writeLine(c, kTableRow - 1);
    c.texts[kTableRow - 1] = saved;
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
