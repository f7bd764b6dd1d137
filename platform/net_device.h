// The network serial device behind serial_device.h: a port number listed in "Kwlink.ports"
// opens a TCP connection instead of a COM port (see network_ports.h). The COM device of each
// system hands its calls here for such a port. Same contract as the COM device: reads and
// writes with 5 ms per byte + 10 ms, errors as OS codes. With the COM-PORT-OPTION the server is
// told the line settings on every open and purged where the COM port is purged; on a plain TCP
// port the bytes pass as they are.
#pragma once

#include <cstdint>
#include <string>

#include "platform/line_settings.h"
#include "platform/network_ports.h"

namespace platform {

struct SerialWake;

struct NetDevice;

// The network port that `portNumber` names in "Kwlink.ports" beside the program, if any.
bool findNetworkPort(std::int32_t portNumber, NetworkPort& port);

// Resolves, connects (within settings.connectTimeoutMs) and, with the COM-PORT-OPTION, sets the
// line. `device` is set only on success. A connect cut short because the window was closed
// leaves an unconnected device that reads nothing, so that the job stops as it stops while it
// waits for a greeting.
std::int32_t openNetDevice(const NetworkPort& port, const LineSettings& settings,
                           NetDevice*& device);
std::int32_t readNetDevice(NetDevice* device, char* buffer, std::int32_t count,
                           std::int32_t& received);
std::int32_t writeNetDevice(NetDevice* device, const char* data, std::int32_t count,
                            std::int32_t& written);
// The idle wait of waitSerialDevice(): blocks until received data is waiting, `milliseconds`
// have passed or `wake` is raised. Telnet commands alone do not make the device readable. A
// connection that has gone is reported only after the time (or the wake).
std::int32_t waitNetDevice(NetDevice* device, std::int32_t milliseconds, SerialWake* wake,
                           bool& readable);
std::int32_t closeNetDevice(NetDevice* device);

// Told by the message loop when the window has been closed (or the loop has ended): network
// connects under way give up.
void noteWindowClosed();

}  // namespace platform
