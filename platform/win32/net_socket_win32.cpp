// The network device's sockets on Windows: Winsock (ws2_32, a system library). A read waits on
// an event the socket signals (WSAEventSelect), a connect and a full send buffer with select().
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "platform/net_socket.h"
#include "platform/win32/serial_wake.h"

namespace platform {
namespace net {

struct Connection {
    SOCKET socket = INVALID_SOCKET;
    WSAEVENT readable = WSA_INVALID_EVENT;
};

namespace {

using Clock = std::chrono::steady_clock;

// How often a connect asks whether it is to give up.
constexpr long kSliceMs = 50;

// SIO_TCP_SET_ACK_FREQUENCY of mstcpip.h (which needs more of windows.h than this file).
constexpr DWORD kSetAckFrequency = _WSAIOW(IOC_VENDOR, 23);

std::int32_t lastError() {
    return static_cast<std::int32_t>(WSAGetLastError());
}

std::int32_t startWinsock() {
    static std::once_flag once;
    static int result = 0;
    std::call_once(once, [] {
        WSADATA data;
        result = WSAStartup(MAKEWORD(2, 2), &data);
    });
    return result;
}

// Waits with select() up to `timeoutMs` for `socket` to be writable (or to fail).
int selectWrite(SOCKET socket, long timeoutMs, bool& failed) {
    fd_set writable;
    fd_set failing;
    FD_ZERO(&writable);
    FD_ZERO(&failing);
    FD_SET(socket, &writable);
    FD_SET(socket, &failing);
    timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    int ready = select(0, nullptr, &writable, &failing, &wait);
    failed = ready > 0 && FD_ISSET(socket, &failing);
    return ready;
}

// Connects `socket` to `address` by `deadline`: 0, the system's code, or -1 when cancelled.
std::int32_t connectOne(SOCKET socket, const addrinfo& address, Clock::time_point deadline,
                        bool (*cancelled)()) {
    if (connect(socket, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) {
        return 0;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) {
        return lastError();
    }
    for (;;) {
        if (cancelled != nullptr && cancelled()) {
            return -1;
        }
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return WSAETIMEDOUT;
        }
        bool failed = false;
        int ready =
            selectWrite(socket, static_cast<long>(std::min<long long>(left, kSliceMs)), failed);
        if (ready == SOCKET_ERROR) {
            return lastError();
        }
        if (ready > 0) {
            int error = 0;
            int length = sizeof error;
            if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                           &length) != 0) {
                return lastError();
            }
            return failed && error == 0 ? WSAECONNREFUSED : error;
        }
    }
}

}  // namespace

std::int32_t connectTo(const std::string& host, const std::string& service, std::uint32_t timeoutMs,
                       bool (*cancelled)(), Socket& result, std::string& detail) {
    result = kNoSocket;
    std::int32_t error = startWinsock();
    if (error != 0) {
        return error;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* addresses = nullptr;
    error = getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses);
    if (error != 0) {
        // The code is a Windows error code (WSAHOST_NOT_FOUND and its kin); its text is the
        // system's.
        detail.clear();
        return error;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    error = WSAETIMEDOUT;
    for (addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
        SOCKET socket = ::socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (socket == INVALID_SOCKET) {
            error = lastError();
            continue;
        }
        u_long on = 1;
        ioctlsocket(socket, FIONBIO, &on);
        error = connectOne(socket, *address, deadline, cancelled);
        if (error == 0) {
            WSAEVENT readable = WSACreateEvent();
            if (readable == WSA_INVALID_EVENT ||
                WSAEventSelect(socket, readable, FD_READ | FD_CLOSE) != 0) {
                error = lastError();
                if (readable != WSA_INVALID_EVENT) {
                    WSACloseEvent(readable);
                }
                closesocket(socket);
                break;
            }
            BOOL yes = TRUE;
            setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes),
                       sizeof yes);
            setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&yes),
                       sizeof yes);
            // Acknowledge every segment at once (Windows 8 and later; best effort): a server
            // that holds back small writes until its last one is acknowledged would otherwise
            // wait for the delayed acknowledgement in the middle of a reply.
            DWORD everySegment = 1;
            DWORD unused = 0;
            WSAIoctl(socket, kSetAckFrequency, &everySegment, sizeof everySegment, nullptr, 0,
                     &unused, nullptr, nullptr);
            result = new Connection{socket, readable};
            break;
        }
        closesocket(socket);
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
    if (socket == kNoSocket || (wake != nullptr && !forWrite)) {
        // The socket's event (when there is a socket) beside the wake-up.
        HANDLE events[2];
        DWORD count = 0;
        if (socket != kNoSocket) {
            events[count++] = socket->readable;
        }
        if (wake != nullptr) {
            events[count++] = serialWakeEvent(wake);
        }
        if (count == 0) {
            Sleep(static_cast<DWORD>(timeoutMs));
            return 0;
        }
        DWORD result = WaitForMultipleObjects(count, events, FALSE, static_cast<DWORD>(timeoutMs));
        if (result == WAIT_FAILED) {
            return static_cast<std::int32_t>(GetLastError());
        }
        if (socket != kNoSocket && result == WAIT_OBJECT_0) {
            WSANETWORKEVENTS networkEvents{};
            WSAEnumNetworkEvents(socket->socket, socket->readable, &networkEvents);
            ready = true;
        }
        return 0;
    }
    if (forWrite) {
        bool failed = false;
        int result = selectWrite(socket->socket, timeoutMs, failed);
        if (result == SOCKET_ERROR) {
            return lastError();
        }
        ready = result > 0;
        return 0;
    }
    DWORD result = WaitForSingleObject(socket->readable, static_cast<DWORD>(timeoutMs));
    if (result == WAIT_FAILED) {
        return static_cast<std::int32_t>(GetLastError());
    }
    if (result == WAIT_OBJECT_0) {
        // Clears the event; the next recv() that leaves bytes behind signals it again.
        WSANETWORKEVENTS events{};
        WSAEnumNetworkEvents(socket->socket, socket->readable, &events);
        ready = true;
    }
    return 0;
}

std::int32_t sendSome(Socket socket, const char* data, std::int32_t count, std::int32_t& sent) {
    sent = 0;
    int n = send(socket->socket, data, count, 0);
    if (n != SOCKET_ERROR) {
        sent = n;
        return 0;
    }
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : lastError();
}

std::int32_t receiveSome(Socket socket, char* buffer, std::int32_t count, std::int32_t& received,
                         bool& closed) {
    received = 0;
    closed = false;
    int n = recv(socket->socket, buffer, count, 0);
    if (n > 0) {
        received = n;
        return 0;
    }
    if (n == 0) {
        closed = true;
        return 0;
    }
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : lastError();
}

void closeSocket(Socket socket) {
    closesocket(socket->socket);
    WSACloseEvent(socket->readable);
    delete socket;
}

std::int32_t timedOut() {
    return WSAETIMEDOUT;
}

std::int32_t closedByServer() {
    return WSAECONNRESET;
}

std::int32_t hostNotFound() {
    return WSAHOST_NOT_FOUND;
}

std::int32_t optionRefused() {
    return WSAEPROTONOSUPPORT;
}

}  // namespace net
}  // namespace platform
