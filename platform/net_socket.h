// The few socket calls the network device needs, one implementation per system (POSIX sockets,
// Winsock). All sockets are non-blocking; errors are the system's codes.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct SerialWake;
namespace net {

// A connected socket and whatever the system waits on with it.
struct Connection;
using Socket = Connection*;
constexpr Socket kNoSocket = nullptr;

// Resolves `host` and connects to the first address that takes the connection within
// `timeoutMs` in all; TCP_NODELAY and keep-alive on. `cancelled` is asked every few
// milliseconds; when it turns true, 0 is returned with `socket` kNoSocket. A name that does not
// resolve is reported with hostNotFound() and the resolver's text in `detail`.
std::int32_t connectTo(const std::string& host, const std::string& service, std::uint32_t timeoutMs,
                       bool (*cancelled)(), Socket& socket, std::string& detail);

// Waits up to `timeoutMs` until `socket` can be read (or written) or `wake` (may be nullptr) is
// raised; `ready` tells whether the socket can be used. With kNoSocket only the wake is waited
// for.
std::int32_t waitSocket(Socket socket, bool forWrite, int timeoutMs, bool& ready,
                        SerialWake* wake = nullptr);

// Sends what the socket takes now; `sent` 0 when it takes nothing.
std::int32_t sendSome(Socket socket, const char* data, std::int32_t count, std::int32_t& sent);

// Receives what is there (call it before waiting: a wait may see a server's close only once);
// `received` 0 when nothing is; `closed` when the server has closed.
std::int32_t receiveSome(Socket socket, char* buffer, std::int32_t count, std::int32_t& received,
                         bool& closed);

void closeSocket(Socket socket);

// Codes for the failures that are no socket call's own.
std::int32_t timedOut();        // no connection or no answer in time
std::int32_t closedByServer();  // the server closed the connection
std::int32_t hostNotFound();    // the name does not resolve
std::int32_t optionRefused();   // the server refused the COM-PORT-OPTION

}  // namespace net
}  // namespace platform
