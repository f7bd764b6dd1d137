// The network device's sockets on POSIX: non-blocking sockets, waits with poll().
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/net_socket.h"
#include "platform/posix/serial_wake.h"

namespace platform {
namespace net {

struct Connection {
    int fd = -1;
};

namespace {

using Clock = std::chrono::steady_clock;

// How often a connect asks whether it is to give up.
constexpr int kSliceMs = 50;

int fdOf(Socket socket) {
    return socket->fd;
}

// Connects `fd` to `address` by `deadline`: 0, the system's code, or -1 when cancelled.
std::int32_t connectOne(int fd, const addrinfo& address, Clock::time_point deadline,
                        bool (*cancelled)()) {
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) {
        return 0;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return errno;
    }
    for (;;) {
        if (cancelled != nullptr && cancelled()) {
            return -1;
        }
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return ETIMEDOUT;
        }
        pollfd entry{fd, POLLOUT, 0};
        int ready = poll(&entry, 1, static_cast<int>(std::min<long long>(left, kSliceMs)));
        if (ready < 0 && errno != EINTR) {
            return errno;
        }
        if (ready > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                return errno;
            }
            return error;
        }
    }
}

}  // namespace

std::int32_t connectTo(const std::string& host, const std::string& service, std::uint32_t timeoutMs,
                       bool (*cancelled)(), Socket& socket, std::string& detail) {
    socket = kNoSocket;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* addresses = nullptr;
    int resolved = getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses);
    if (resolved != 0) {
        if (resolved == EAI_SYSTEM) {
            return errno;
        }
        detail = gai_strerror(resolved);
        return hostNotFound();
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::int32_t error = ETIMEDOUT;
    for (addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
        int fd = ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          address->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        error = connectOne(fd, *address, deadline, cancelled);
        if (error == 0) {
            int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
            socket = new Connection{fd};
            break;
        }
        close(fd);
        if (error == -1) {
            error = 0;  // cancelled: no socket, no error
            break;
        }
    }
    freeaddrinfo(addresses);
    return error;
}

std::int32_t waitSocket(Socket socket, bool forWrite, int timeoutMs, bool& ready,
                        SerialWake* wake) {
    ready = false;
    // poll() passes over entries with a negative descriptor: no socket, no wake.
    pollfd entries[2] = {{socket != kNoSocket ? fdOf(socket) : -1,
                          static_cast<short>(forWrite ? POLLOUT : POLLIN), 0},
                         {serialWakeDescriptor(wake), POLLIN, 0}};
    int result = poll(entries, 2, timeoutMs);
    if (result < 0) {
        return errno == EINTR ? 0 : errno;
    }
    ready = entries[0].revents != 0;
    return 0;
}

std::int32_t sendSome(Socket socket, const char* data, std::int32_t count, std::int32_t& sent) {
    sent = 0;
    for (;;) {
        ssize_t n = ::send(fdOf(socket), data, static_cast<size_t>(count), MSG_NOSIGNAL);
        if (n >= 0) {
            sent = static_cast<std::int32_t>(n);
            return 0;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
}

std::int32_t receiveSome(Socket socket, char* buffer, std::int32_t count, std::int32_t& received,
                         bool& closed) {
    received = 0;
    closed = false;
    for (;;) {
        ssize_t n = ::recv(fdOf(socket), buffer, static_cast<size_t>(count), 0);
        if (n > 0) {
            // Acknowledge at once: a server that holds small writes back until its last one is
            // acknowledged (Nagle's algorithm, ser2net's default) would otherwise wait for the
            // delayed acknowledgement, some 40 ms, in the middle of a reply. Linux clears the
            // flag again by itself.
            int on = 1;
            setsockopt(fdOf(socket), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
            received = static_cast<std::int32_t>(n);
            return 0;
        }
        if (n == 0) {
            closed = true;
            return 0;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
}

void closeSocket(Socket socket) {
    close(fdOf(socket));
    delete socket;
}

std::int32_t timedOut() {
    return ETIMEDOUT;
}

std::int32_t closedByServer() {
    return ECONNRESET;
}

std::int32_t hostNotFound() {
    return ENXIO;
}

std::int32_t optionRefused() {
    return EPROTONOSUPPORT;
}

}  // namespace net
}  // namespace platform
