#include "platform/net_device.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/net_socket.h"
#include "platform/platform.h"
#include "platform/rfc2217_codec.h"

namespace platform {

struct NetDevice {
    net::Socket socket = net::kNoSocket;
    std::string address;
    std::unique_ptr<Rfc2217Codec> codec;  // none on a plain TCP port
    std::string input;                    // data received and not yet read
    std::int32_t failure = 0;             // the connection has failed or closed
};

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> g_windowClosed{false};

bool windowClosed() {
    return g_windowClosed;
}

// 5 ms per byte plus 10 ms, as on the COM port.
Clock::time_point deadlineFor(std::int32_t count) {
    return Clock::now() + std::chrono::milliseconds(5 * static_cast<long long>(count) + 10);
}

int millisLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
        return Clock::now() < deadline ? 1 : 0;
    }
    return static_cast<int>(left.count()) + 1;
}

void passNotes(NetDevice& device) {
    for (const std::string& note : device.codec->takeNotes()) {
        deviceNote(device.address + ": the server set " + note);
    }
}

// Sends all of `bytes` unless the deadline passes first; `sent` counts what went out.
std::int32_t sendUntil(NetDevice& device, const std::string& bytes, Clock::time_point deadline,
                       std::size_t& sent) {
    sent = 0;
    while (sent < bytes.size()) {
        std::int32_t now = 0;
        std::int32_t error = net::sendSome(device.socket, bytes.data() + sent,
                                           static_cast<std::int32_t>(bytes.size() - sent), now);
        if (error != 0) {
            device.failure = error;
            return error;
        }
        sent += static_cast<std::size_t>(now);
        if (sent == bytes.size()) {
            break;
        }
        int left = millisLeft(deadline);
        if (left <= 0) {
            break;
        }
        bool ready = false;
        error = net::waitSocket(device.socket, true, left, ready);
        if (error != 0) {
            device.failure = error;
            return error;
        }
    }
    return 0;
}

// Sends the telnet layer's answers, if any.
std::int32_t flushCodec(NetDevice& device) {
    const std::string output = device.codec->takeOutput();
    std::size_t sent = 0;
    return output.empty() ? 0
                          : sendUntil(device, output,
                                      deadlineFor(static_cast<std::int32_t>(output.size())), sent);
}

// Takes in what has arrived, waiting up to `timeoutMs` when nothing has: data into `input`,
// the telnet layer answered.
void pump(NetDevice& device, int timeoutMs) {
    char buffer[4096];
    std::int32_t received = 0;
    bool closed = false;
    std::int32_t error = net::receiveSome(device.socket, buffer, sizeof buffer, received, closed);
    if (error == 0 && received == 0 && !closed) {
        bool ready = false;
        error = net::waitSocket(device.socket, false, timeoutMs, ready);
        if (error == 0 && ready) {
            error = net::receiveSome(device.socket, buffer, sizeof buffer, received, closed);
        }
    }
    if (error != 0 || closed) {
        device.failure = error != 0 ? error : net::closedByServer();
    }
    if (device.codec == nullptr) {
        device.input.append(buffer, static_cast<std::size_t>(received));
        return;
    }
    device.codec->receive(buffer, static_cast<std::size_t>(received), device.input);
    passNotes(device);
    if (device.failure == 0) {
        flushCodec(device);
    }
}

// The COM-PORT-OPTION's start: negotiation and the line, then the purge of the open.
std::int32_t setLine(NetDevice& device, const LineSettings& settings) {
    device.codec = std::make_unique<Rfc2217Codec>(settings);
    std::size_t sent = 0;
    const std::string start = device.codec->start();
    std::int32_t error =
        sendUntil(device, start, deadlineFor(static_cast<std::int32_t>(start.size())), sent);
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(settings.connectTimeoutMs);
    while (error == 0 && device.failure == 0 && !device.codec->lineSet() &&
           !device.codec->refused() && !windowClosed()) {
        int left = millisLeft(deadline);
        if (left <= 0) {
            return net::timedOut();
        }
        pump(device, std::min(left, 50));
    }
    if (error != 0 || device.failure != 0) {
        return error != 0 ? error : device.failure;
    }
    if (device.codec->refused()) {
        return net::optionRefused();
    }
    device.codec->purge();
    device.input.clear();
    return flushCodec(device);
}

}  // namespace

bool findNetworkPort(std::int32_t portNumber, NetworkPort& port) {
    NetworkPorts ports;
    std::string badLine;
    loadNetworkPorts(programDirectory(), ports, badLine);
    auto found = ports.find(portNumber);
    if (found == ports.end()) {
        return false;
    }
    port = found->second;
    return true;
}

std::int32_t openNetDevice(const NetworkPort& port, const LineSettings& settings,
                           NetDevice*& device) {
    device = nullptr;
    auto opened = std::make_unique<NetDevice>();
    opened->address = port.address;
    std::string detail;
    std::int32_t error = net::connectTo(port.host, port.service, settings.connectTimeoutMs,
                                        &windowClosed, opened->socket, detail);
    if (error != 0) {
        if (!detail.empty()) {
            deviceNote(port.address + ": " + detail);
        }
        return error;
    }
    if (opened->socket != net::kNoSocket) {
        if (port.rfc2217) {
            error = setLine(*opened, settings);
        } else {
            deviceNote(port.address + ": a plain TCP port, the line settings are not sent");
        }
    }
    if (error != 0) {
        net::closeSocket(opened->socket);
        return error;
    }
    device = opened.release();
    return 0;
}

std::int32_t readNetDevice(NetDevice* device, char* buffer, std::int32_t count,
                           std::int32_t& received) {
    received = 0;
    const Clock::time_point deadline = deadlineFor(count);
    for (;;) {
        const std::size_t take =
            std::min(device->input.size(), static_cast<std::size_t>(count - received));
        std::copy_n(device->input.data(), take, buffer + received);
        device->input.erase(0, take);
        received += static_cast<std::int32_t>(take);
        if (received == count) {
            return 0;
        }
        const int left = millisLeft(deadline);
        if (left <= 0) {
            return 0;
        }
        if (device->socket == net::kNoSocket || device->failure != 0) {
            // Gone (or never connected): reported only when the read's time has passed, so
            // that a caller polling byte by byte does not spin.
            std::this_thread::sleep_until(deadline);
            return device->failure;
        }
        pump(*device, left);
    }
}

std::int32_t waitNetDevice(NetDevice* device, std::int32_t milliseconds, SerialWake* wake,
                           bool& readable) {
    readable = false;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 0);
    for (;;) {
        if (!device->input.empty()) {
            readable = true;
            return 0;
        }
        const bool gone = device->socket == net::kNoSocket || device->failure != 0;
        if (!gone) {
            // Takes what has arrived (telnet commands are answered on the way) without waiting.
            pump(*device, 0);
            if (!device->input.empty()) {
                continue;
            }
        }
        // A connection that failed while being read is waited on no more: the rest of the time
        // only the wake-up can end the wait.
        const bool usable = !gone && device->failure == 0;
        const int left = millisLeft(deadline);
        bool ready = false;
        if (left > 0) {
            std::int32_t error =
                net::waitSocket(usable ? device->socket : net::kNoSocket, false, left, ready, wake);
            if (error != 0) {
                return error;
            }
        }
        if (!ready) {
            // The time has passed, or the wake-up came.
            return device->failure;
        }
    }
}

std::int32_t writeNetDevice(NetDevice* device, const char* data, std::int32_t count,
                            std::int32_t& written) {
    written = 0;
    if (device->failure != 0) {
        return device->failure;
    }
    if (device->socket == net::kNoSocket) {
        return 0;
    }
    const std::string bytes = device->codec != nullptr
                                  ? Rfc2217Codec::escape(data, static_cast<std::size_t>(count))
                                  : std::string(data, static_cast<std::size_t>(count));
    std::size_t sent = 0;
    std::int32_t error = sendUntil(*device, bytes, deadlineFor(count), sent);
    // Count the data bytes whose whole coding went out.
    std::size_t coded = 0;
    while (written < count) {
        std::size_t width =
            device->codec != nullptr && static_cast<unsigned char>(data[written]) == 0xFF ? 2 : 1;
        if (coded + width > sent) {
            break;
        }
        coded += width;
        ++written;
    }
    return error;
}

std::int32_t closeNetDevice(NetDevice* device) {
    if (device->socket != net::kNoSocket) {
        net::closeSocket(device->socket);
    }
    delete device;
    return 0;
}

void noteWindowClosed() {
    g_windowClosed = true;
}

}  // namespace platform
