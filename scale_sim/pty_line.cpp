#include "scale_sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace scale_sim {

namespace {

// 11 bits at 9600 baud.
constexpr std::chrono::microseconds kByteTime(1146);

}  // namespace

PtyLine::~PtyLine() {
    if (master_ >= 0) {
        close(master_);
    }
}

bool PtyLine::create(std::string& slavePath, std::string& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[256];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    int on = 1;
    if (ioctl(master_, TIOCPKT, &on) != 0) {
        error = std::string("packet mode: ") + std::strerror(errno);
        return false;
    }
    slavePath = name;
    resetSettings();
    return true;
}

void PtyLine::resetSettings() {
    termios tio{};
    if (tcgetattr(master_, &tio) != 0) {
        return;
    }
    cfmakeraw(&tio);
    tio.c_iflag = 0;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag = CS8 | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B38400);
    cfsetospeed(&tio, B38400);
    tcsetattr(master_, TCSANOW, &tio);
}

bool PtyLine::configuredByProgram() const {
    termios tio{};
    if (tcgetattr(master_, &tio) != 0) {
        return false;
    }
    return cfgetospeed(&tio) != B38400;
}

std::string PtyLine::settingsSnapshot() const {
    termios tio{};
    if (tcgetattr(master_, &tio) != 0) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(&tio), sizeof tio);
}

PtyLine::Input PtyLine::wait(int timeoutMs) {
    Input input;
    pollfd entry{master_, POLLIN | POLLPRI, 0};
    int ready = poll(&entry, 1, timeoutMs);
    if (ready <= 0) {
        return input;
    }
    if ((entry.revents & (POLLIN | POLLPRI)) == 0 && (entry.revents & POLLHUP) != 0) {
        // Nobody has the slave open: the master reports a hang-up at once and keeps doing so.
        // Wait a little so that the caller's loop does not spin.
        input.hangup = true;
        poll(nullptr, 0, timeoutMs < 2 ? timeoutMs : 2);
        return input;
    }
    char buffer[4096];
    ssize_t n = read(master_, buffer, sizeof buffer);
    if (n < 0) {
        if (errno == EIO) {
            input.hangup = true;
            poll(nullptr, 0, timeoutMs < 2 ? timeoutMs : 2);
        }
        return input;
    }
    if (n == 0) {
        return input;
    }
    if (buffer[0] == TIOCPKT_DATA) {
        input.data.assign(buffer + 1, static_cast<std::size_t>(n - 1));
    } else if ((buffer[0] & (TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE)) != 0) {
        input.purged = true;
    }
    if (pacing_ && !input.data.empty()) {
        Clock::time_point now = Clock::now();
        if (receiveFreeAt_ < now) {
            receiveFreeAt_ = now;
        }
        receiveFreeAt_ += kByteTime * static_cast<int>(input.data.size());
        std::this_thread::sleep_until(receiveFreeAt_);
    }
    return input;
}

void PtyLine::send(const std::string& bytes) {
    Clock::time_point next = Clock::now();
    std::size_t chunk = pacing_ ? 1 : bytes.size();
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (pacing_) {
            std::this_thread::sleep_until(next);
            next += kByteTime;
        }
        std::size_t length = std::min(chunk, bytes.size() - done);
        ssize_t n = write(master_, bytes.data() + done, length);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            pollfd entry{master_, POLLOUT, 0};
            if (poll(&entry, 1, 100) > 0) {
                continue;
            }
        }
        return;  // nobody listens: the bytes are lost, as on a real line
    }
}

}  // namespace scale_sim
