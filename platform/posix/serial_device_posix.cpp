// POSIX serial device: termios on a non-blocking descriptor, waits with poll() against a
// steady-clock deadline.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/net_device.h"
#include "platform/platform.h"
#include "platform/posix/serial_termios.h"
#include "platform/posix/serial_wake.h"
#include "platform/serial_device.h"

namespace platform {

struct SerialDevice {
    int fd = -1;
    NetDevice* net = nullptr;  // a port of "Kwlink.ports" instead
};

namespace {

using Clock = std::chrono::steady_clock;

// 5 ms per byte plus 10 ms, as the Windows driver's total time-outs give it.
Clock::time_point deadlineFor(std::int32_t count) {
    return Clock::now() + std::chrono::milliseconds(5 * static_cast<long long>(count) + 10);
}

int millisLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    // Round up so that a wait never returns early and spins on a zero time-out.
    if (left.count() <= 0) {
        return Clock::now() < deadline ? 1 : 0;
    }
    return static_cast<int>(left.count()) + 1;
}

// Sleeps until `deadline` (used after a device has gone, so that callers do not spin).
void waitUntil(Clock::time_point deadline) {
    for (;;) {
        int left = millisLeft(deadline);
        if (left <= 0) {
            return;
        }
        poll(nullptr, 0, left);
    }
}

speed_t speedFor(std::uint32_t baudRate, bool& ok) {
    ok = true;
    switch (baudRate) {
        case 110:
            return B110;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            ok = false;
            return B0;
    }
}

// Linux pseudo-terminal slaves have the device majors 136 to 143.
bool isPseudoTerminalSlave(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
        return false;
    }
    unsigned int majorNumber = major(info.st_rdev);
    return majorNumber >= 136 && majorNumber <= 143;
}

// A pseudo-terminal forces 8 data bits and no parity and makes tcsetattr() fail with EINVAL
// when nothing it can hold changed. Accept that when everything but the character size and
// parity reads back as asked for.
bool pseudoTerminalHolds(int fd, const termios& wanted) {
    termios actual{};
    if (tcgetattr(fd, &actual) != 0) {
        return false;
    }
    const tcflag_t ignored = CSIZE | PARENB | PARODD | CMSPAR;
    return actual.c_iflag == wanted.c_iflag && actual.c_oflag == wanted.c_oflag &&
           actual.c_lflag == wanted.c_lflag &&
           (actual.c_cflag & ~ignored) == (wanted.c_cflag & ~ignored) &&
           cfgetospeed(&actual) == cfgetospeed(&wanted) && actual.c_cc[VMIN] == wanted.c_cc[VMIN] &&
           actual.c_cc[VTIME] == wanted.c_cc[VTIME];
}

// DTR off, RTS on. A device without modem lines (a pseudo-terminal) refuses with EINVAL or
// ENOTTY, which is no error here; anything else (EIO: the adapter has gone) is.
int setModemLinesForNoHandshake(int fd) {
    int dtr = TIOCM_DTR;
    int rts = TIOCM_RTS;
    if (ioctl(fd, TIOCMBIC, &dtr) != 0 && errno != EINVAL && errno != ENOTTY) {
        return errno;
    }
    if (ioctl(fd, TIOCMBIS, &rts) != 0 && errno != EINVAL && errno != ENOTTY) {
        return errno;
    }
    return 0;
}

// Asks a USB adapter not to hold received bytes back (an FTDI chip waits up to 16 ms
// otherwise). Best effort: most devices do not support it.
void requestLowLatency(int fd) {
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &serial);
    }
}

int configureLine(int fd, const LineSettings& settings) {
    if (tcflush(fd, TCIOFLUSH) != 0) {
        return errno;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return errno;
    }
    if (!lineSettingsToTermios(settings, tio)) {
        return EINVAL;
    }
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        int error = errno;
        if (!(error == EINVAL && isPseudoTerminalSlave(fd) && pseudoTerminalHolds(fd, tio))) {
            return error;
        }
    }
    if (settings.handshake != 2) {
        int error = setModemLinesForNoHandshake(fd);
        if (error != 0) {
            return error;
        }
    }
    requestLowLatency(fd);
    if (tcflush(fd, TCIOFLUSH) != 0) {
        return errno;
    }
    return 0;
}

}  // namespace

bool lineSettingsToTermios(const LineSettings& settings, termios& tio) {
    bool speedOk = false;
    speed_t speed = speedFor(settings.baudRate, speedOk);
    if (!speedOk) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ISIG | ICANON | IEXTEN | ECHO | ECHOE | ECHOK | ECHONL);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CREAD | CLOCAL;
    switch (settings.format.dataBits) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        case 8:
            tio.c_cflag |= CS8;
            break;
        default:
            return false;
    }
    switch (settings.format.parity) {
        case 0:
            break;
        case 1:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            tio.c_cflag |= PARENB;
            break;
        case 3:
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 4:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return false;
    }
    switch (settings.format.stopBits) {
        case 0:
            break;
        case 1:
        case 2:
            tio.c_cflag |= CSTOPB;
            break;
        default:
            return false;
    }
    if (settings.handshake == 2) {
        tio.c_cflag |= CRTSCTS;
    } else if (settings.handshake == 1) {
        tio.c_iflag |= IXON | IXOFF;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    return true;
}

namespace {

thread_local std::string g_refusal;

// Refuses (EACCES, the reason in g_refusal) a device a job must not use: a com<n> link of
// another user, something that is not a terminal, another user's pseudo-terminal. Any user can
// make a pseudo-terminal and a link to it, and would then read what the job sends and answer
// for the scale. `name` is the device name, `fd` the opened device or -1 before the open; the
// name the open should use comes back in `open`.
int refuseForeignDevice(const std::string& name, int fd, std::string& open) {
    if (fd < 0) {
        return resolveOwnLinks(name, open, g_refusal) ? 0 : EACCES;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return errno;
    }
    if (!S_ISCHR(info.st_mode) || !isatty(fd)) {
        g_refusal = name + " is no terminal device";
    } else if (isPseudoTerminalSlave(fd) && info.st_uid != 0 && info.st_uid != geteuid()) {
        g_refusal = name + " is a pseudo-terminal of user id " + std::to_string(info.st_uid);
    }
    return g_refusal.empty() ? 0 : EACCES;
}

}  // namespace

std::string serialDeviceRefusal() {
    return g_refusal;
}

std::string serialDeviceName(std::int32_t portNumber) {
    NetworkPort networkPort;
    if (findNetworkPort(portNumber, networkPort)) {
        return networkPort.address;
    }
    std::string local = dataDirectory() + "/com" + std::to_string(portNumber);
    struct stat info {};
    if (lstat(local.c_str(), &info) == 0) {
        return local;
    }
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

std::int32_t openSerialDevice(std::int32_t portNumber, const LineSettings& settings,
                              SerialDevice*& device) {
    device = nullptr;
    NetworkPort networkPort;
    if (findNetworkPort(portNumber, networkPort)) {
        NetDevice* net = nullptr;
        std::int32_t error = openNetDevice(networkPort, settings, net);
        if (net != nullptr) {
            device = new SerialDevice;
            device->net = net;
        }
        return error;
    }
    g_refusal.clear();
    const std::string name = serialDeviceName(portNumber);
    std::string resolved;
    if (int refused = refuseForeignDevice(name, -1, resolved)) {
        return refused;
    }
    int fd = ::open(resolved.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    if (int refused = refuseForeignDevice(name, fd, resolved)) {
        close(fd);
        return refused;
    }
    // Exclusive use: TIOCEXCL keeps other processes out (root passes it), flock() keeps out
    // every other descriptor, also one of this process. On a pseudo-terminal slave the
    // exclusive flag outlives a killed program until the other end reopens, so there the
    // flock alone does the work (the kernel drops it when the process dies).
    if (!isPseudoTerminalSlave(fd) && ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY) {
        int error = errno;
        close(fd);
        return error;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ioctl(fd, TIOCNXCL);
        close(fd);
        return error;
    }
    device = new SerialDevice;
    device->fd = fd;
    return configureLine(fd, settings);
}

std::int32_t readSerialDevice(SerialDevice* device, char* buffer, std::int32_t count,
                              std::int32_t& received) {
    if (device->net != nullptr) {
        return readNetDevice(device->net, buffer, count, received);
    }
    received = 0;
    Clock::time_point deadline = deadlineFor(count);
    int error = 0;
    bool gone = false;
    while (received < count) {
        ssize_t n = ::read(device->fd, buffer + received, static_cast<size_t>(count - received));
        if (n > 0) {
            received += static_cast<std::int32_t>(n);
            continue;
        }
        // With VMIN = VTIME = 0 a terminal reports "nothing there" as 0, not EAGAIN; a device
        // that has gone shows up in poll() below.
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            error = errno;
            gone = true;
            break;
        }
        int left = millisLeft(deadline);
        if (left <= 0) {
            break;
        }
        pollfd entry{device->fd, POLLIN, 0};
        int ready = poll(&entry, 1, left);
        if (ready < 0 && errno != EINTR) {
            error = errno;
            gone = true;
            break;
        }
        // A hang-up seen after a read that found nothing: the device has gone (a terminal
        // that hung up also reports POLLIN, and its reads return nothing).
        if (ready > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            error = EIO;
            gone = true;
            break;
        }
    }
    if (gone) {
        waitUntil(deadline);
    }
    return error;
}

std::int32_t writeSerialDevice(SerialDevice* device, const char* data, std::int32_t count,
                               std::int32_t& written) {
    if (device->net != nullptr) {
        return writeNetDevice(device->net, data, count, written);
    }
    written = 0;
    Clock::time_point deadline = deadlineFor(count);
    while (written < count) {
        ssize_t n = ::write(device->fd, data + written, static_cast<size_t>(count - written));
        if (n > 0) {
            written += static_cast<std::int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return errno;
        }
        int left = millisLeft(deadline);
        if (left <= 0) {
            break;
        }
        pollfd entry{device->fd, POLLOUT, 0};
        if (poll(&entry, 1, left) < 0 && errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

SerialWake* createSerialWake() {
    int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    SerialWake* wake = new SerialWake;
    wake->fd = fd;
    return wake;
}

void raiseSerialWake(SerialWake* wake) {
    if (wake == nullptr) {
        return;
    }
    // The counter is never read back, so the descriptor stays readable from now on.
    const std::uint64_t one = 1;
    while (::write(wake->fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void destroySerialWake(SerialWake* wake) {
    if (wake == nullptr) {
        return;
    }
    close(wake->fd);
    delete wake;
}

std::int32_t waitSerialDevice(SerialDevice* device, std::int32_t milliseconds, SerialWake* wake,
                              bool& readable) {
    if (device->net != nullptr) {
        return waitNetDevice(device->net, milliseconds, wake, readable);
    }
    readable = false;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 0);
    const int wakeFd = serialWakeDescriptor(wake);
    // After a hang-up the device is left out of the poll (it would report the hang-up at once
    // again) and the rest of the time is waited for the wake-up alone.
    bool gone = false;
    for (;;) {
        pollfd entries[2] = {{gone ? -1 : device->fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int ready = poll(entries, 2, millisLeft(deadline));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        // A terminal that hung up also reports POLLIN: the hang-up decides.
        if (!gone && (entries[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            gone = true;
            continue;
        }
        readable = !gone && (entries[0].revents & POLLIN) != 0;
        if (readable || entries[1].revents != 0 || Clock::now() >= deadline) {
            return gone ? EIO : 0;
        }
    }
}

std::int32_t closeSerialDevice(SerialDevice* device) {
    int fd = device->fd;
    NetDevice* net = device->net;
    delete device;
    if (net != nullptr) {
        return closeNetDevice(net);
    }
    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
    if (close(fd) != 0) {
        return errno;
    }
    return 0;
}

std::string systemErrorText(std::int32_t code) {
    return std::strerror(code);
}

std::int32_t currentSystemError() {
    return errno;
}

}  // namespace platform
