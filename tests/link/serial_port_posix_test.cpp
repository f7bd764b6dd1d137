// SerialPort on a pseudo-terminal: the test holds the master side and plays the device's far
// end; the port reaches the slave through <programDir>/com<n>.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "link/serial_port.h"
#include "platform/platform.h"
#include "platform/serial_device.h"
#include "support/link_steps.h"

namespace {

using Clock = std::chrono::steady_clock;

long long millisSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A pseudo-terminal published as <programDir>/com<port>.
class PtyPort {
  public:
    explicit PtyPort(int port)
        : link_(platform::programDirectory() + "/com" + std::to_string(port)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        termios tio{};
        tcgetattr(master_, &tio);
        cfmakeraw(&tio);
        tcsetattr(master_, TCSANOW, &tio);
        unlink(link_.c_str());
        if (symlink(ptsname(master_), link_.c_str()) != 0) {
            ADD_FAILURE() << "cannot create " << link_;
        }
    }
    ~PtyPort() {
        closeMaster();
        unlink(link_.c_str());
    }
    void closeMaster() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }
    void send(const std::string& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Reads `count` bytes, waiting at most two seconds.
    std::string receive(std::size_t count) {
        std::string bytes;
        auto deadline = Clock::now() + std::chrono::seconds(2);
        while (bytes.size() < count && Clock::now() < deadline) {
            pollfd entry{master_, POLLIN, 0};
            if (poll(&entry, 1, 100) > 0) {
                char buffer[512];
                ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
                if (n > 0) {
                    bytes.append(buffer, static_cast<std::size_t>(n));
                }
            }
        }
        return bytes;
    }

  private:
    std::string link_;
    int master_ = -1;
};

std::string allByteValues() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    return bytes;
}

const LineFormat k8Odd{8, 1, 0};

}  // namespace

TEST(SerialPortPosix, PassesEveryByteValueUnchangedBothWays) {
    PtyPort pty(41);
    SerialPort port;
    ASSERT_EQ(port.open(41), 0) << port.systemErrorText();
    // Received from the far end: ETX, NAK, XON, XOFF, CR and the other control bytes arrive
    // as they were sent.
    pty.send(allByteValues());
    std::string received;
    auto deadline = Clock::now() + std::chrono::seconds(2);
    while (received.size() < 256 && Clock::now() < deadline) {
        std::string part;
        std::int32_t count = static_cast<std::int32_t>(256 - received.size());
        port.read(part, count);
        received += part;
    }
    EXPECT_EQ(received, allByteValues());
    // Sent to the far end: no output processing (no LF to CR LF).
    std::int32_t count = -1;
    EXPECT_EQ(port.write(allByteValues(), count), 0);
    EXPECT_EQ(count, 256);
    EXPECT_EQ(pty.receive(256), allByteValues());
}

TEST(SerialPortPosix, OpenRefusesAnOpenPortAndKeepsIt) {
    PtyPort pty(42);
    SerialPort port;
    ASSERT_EQ(port.open(42), 0);
    EXPECT_EQ(port.open(42), -1);
    EXPECT_EQ(port.errorText(),
              "Schnittstelle bereits ge\xF6"
              "ffnet.\n");
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.portNumber(), 42);
    std::int32_t count = 3;
    EXPECT_EQ(port.write("abc", count), 0);
    EXPECT_EQ(pty.receive(3), "abc");
}

TEST(SerialPortPosix, SecondPortOnTheSameDeviceIsRefused) {
    PtyPort pty(43);
    SerialPort first;
    SerialPort second;
    ASSERT_EQ(first.open(43), 0);
    std::int32_t result = second.open(43);
    EXPECT_TRUE(result == EWOULDBLOCK || result == EBUSY) << result;
    EXPECT_FALSE(second.isOpen());
    EXPECT_FALSE(second.systemErrorText().empty());
    // Once the first lets go, the device can be opened again.
    EXPECT_EQ(first.close(), 0);
    EXPECT_EQ(first.portNumber(), 0);
    EXPECT_EQ(second.open(43), 0) << second.systemErrorText();
}

TEST(SerialPortPosix, PseudoTerminalIsFreeAgainAfterItsHolderWasKilled) {
    PtyPort pty(56);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SerialPort port;
        // Killed while holding the port: nothing of it is released by the program.
        raise(port.open(56) == 0 ? SIGKILL : SIGTERM);
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child's open failed";
    // The exclusive-open flag would outlive the killed holder and refuse every unprivileged
    // open until the far end reopens; only the flock, which died with the holder, may guard a
    // pseudo-terminal.
    int probe = ::open(platform::programDirectory().append("/com56").c_str(),
                       O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(probe, 0);
    int exclusive = -1;
    ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    close(probe);
    EXPECT_EQ(exclusive, 0);
    SerialPort port;
    EXPECT_EQ(port.open(56), 0) << port.systemErrorText();
}

TEST(SerialPortPosix, ClosedAndOpenedAgainWithEightDataBits) {
    PtyPort pty(44);
    SerialPort port;
    ASSERT_EQ(port.open(44), 0);
    ASSERT_EQ(port.close(), 0);
    // A pseudo-terminal cannot hold 8 data bits with odd parity at an unchanged speed: the
    // port must accept what it can hold.
    ASSERT_EQ(port.configure(9600, k8Odd, 0, 4096, 4096), 0);
    ASSERT_EQ(port.open(44), 0) << port.systemErrorText();
    pty.send("x");
    std::string byte;
    std::int32_t count = 1;
    auto deadline = Clock::now() + std::chrono::seconds(2);
    while (count != 1 || byte != "x") {
        ASSERT_LT(Clock::now(), deadline);
        count = 1;
        port.read(byte, count);
    }
}

TEST(SerialPortPosix, ReadOnASilentLineReturnsAfterItsTimeOut) {
    PtyPort pty(45);
    SerialPort port;
    ASSERT_EQ(port.open(45), 0);
    std::string buffer = "old";
    std::int32_t count = 1;
    auto start = Clock::now();
    EXPECT_EQ(port.read(buffer, count), -1);
    long long elapsed = millisSince(start);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(buffer, "");
    EXPECT_EQ(port.errorText(), "Die angefordete Anzahl Zeichen konnte nicht gelesen werden.\n");
    EXPECT_GE(elapsed, 14);
    EXPECT_LT(elapsed, 60);
}

TEST(SerialPortPosix, ReadFromAVanishedDeviceStillTakesItsTime) {
    PtyPort pty(46);
    SerialPort port;
    ASSERT_EQ(port.open(46), 0);
    pty.closeMaster();
    for (int i = 0; i < 3; ++i) {
        std::string buffer;
        std::int32_t count = 1;
        auto start = Clock::now();
        std::int32_t result = port.read(buffer, count);
        EXPECT_GT(result, 0) << "an OS error code";
        EXPECT_EQ(count, 0);
        EXPECT_TRUE(port.errorText().empty());
        EXPECT_GE(millisSince(start), 14);
    }
    bool readable = true;
    auto start = Clock::now();
    EXPECT_GT(port.waitReadable(100, readable), 0) << "an OS error code";
    EXPECT_FALSE(readable);
    EXPECT_GE(millisSince(start), 99) << "an idle wait takes its time too";
}

TEST(SerialPortPosix, IdleWaitEndsOnAByteOrAWakeUp) {
    PtyPort pty(47);
    SerialPort port;
    ASSERT_EQ(port.open(47), 0);
    testing_support::checkIdleWait(
        port, [&] { pty.send("\x02"); }, '\x02');
}

TEST(SerialPortPosix, ClosedPortRefusesEverything) {
    SerialPort port;
    const std::string notOpen =
        "Keine Schnittstelle ge\xF6"
        "ffnet.\n";
    std::string buffer = "x";
    std::int32_t count = 1;
    EXPECT_EQ(port.read(buffer, count), -1);
    EXPECT_EQ(buffer, "");
    EXPECT_EQ(port.errorText(), notOpen);
    count = -1;
    EXPECT_EQ(port.write("abcd", count), -1);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(port.errorText(), notOpen);
    EXPECT_EQ(port.close(), -1);
    EXPECT_EQ(port.errorText(), notOpen);
}

TEST(SerialPortPosix, CloseTwiceAndConfigureWhileOpen) {
    PtyPort pty(47);
    SerialPort port;
    ASSERT_EQ(port.open(47), 0);
    EXPECT_EQ(port.configure(19200, k8Odd, 2, 1, 1), -1);
    EXPECT_EQ(port.errorText(),
              "Schnittstelle ist ge\xF6"
              "ffnet. Konfiguration fehlgeschafen.\n");
    EXPECT_EQ(port.settings().baudRate, 9600u);
    EXPECT_EQ(port.settings().format.dataBits, 7);
    EXPECT_EQ(port.settings().handshake, 0);
    EXPECT_EQ(port.close(), 0);
    EXPECT_EQ(port.errorText(), "");
    EXPECT_EQ(port.close(), -1);
    EXPECT_EQ(port.configure(19200, k8Odd, 2, 1, 1), 0);
    EXPECT_EQ(port.settings().baudRate, 19200u);
    EXPECT_EQ(port.settings().format.dataBits, 8);
}

TEST(SerialPortPosix, MissingDeviceGivesOsErrorAndLeavesThePortClosed) {
    std::string link = platform::programDirectory() + "/com48";
    unlink(link.c_str());
    ASSERT_EQ(symlink("/nonexistent/kwlink-test-device", link.c_str()), 0);
    SerialPort port;
    EXPECT_EQ(port.open(48), ENOENT);
    EXPECT_EQ(port.systemErrorText(), std::strerror(ENOENT));
    EXPECT_EQ(port.deviceName(), link);
    EXPECT_FALSE(port.isOpen());
    unlink(link.c_str());
    // Without a link in the program directory, COM n is the n-th serial device.
    EXPECT_EQ(platform::serialDeviceName(48), "/dev/ttyS47");
    PtyPort pty(49);
    EXPECT_EQ(port.open(49), 0);
}

TEST(SerialPortPosix, WriteSendsOnlyTheCountAsked) {
    PtyPort pty(50);
    SerialPort port;
    ASSERT_EQ(port.open(50), 0);
    std::int32_t count = 2;
    EXPECT_EQ(port.write("abcdef", count), 0);
    EXPECT_EQ(count, 2);
    count = -1;
    EXPECT_EQ(port.write("XYZ", count), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(pty.receive(5), "abXYZ");
}

#endif
