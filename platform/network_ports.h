// "Kwlink.ports" beside the program: the port numbers that name a scale on the network instead
// of a COM port. Optional; one line per port, "number;scheme://host:port", e.g.
// "5;rfc2217://192.0.2.7:4001" (a serial device server speaking the COM-PORT-OPTION) or
// "6;tcp://scale3.shop.lan:3001" (a plain TCP port, the bytes as they are). The host is a name,
// an IPv4 address or an IPv6 address in brackets. Empty lines and lines starting with "#" are
// skipped.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace platform {

struct NetworkPort {
    bool rfc2217 = false;  // else plain TCP
    std::string host;      // without brackets
    std::string service;   // the TCP port, decimal
    std::string address;   // as written in the file
};

using NetworkPorts = std::map<std::int32_t, NetworkPort>;

// Parses the text of the file. False at the first malformed line or unknown scheme, which is
// then in `badLine` (`ports` holds the lines before it).
bool parseNetworkPorts(const std::string& text, NetworkPorts& ports, std::string& badLine);

// Reads and parses the file in `programDirectory`; a missing file is an empty list.
bool loadNetworkPorts(const std::string& programDirectory, NetworkPorts& ports,
                      std::string& badLine);

// Hands a note of the network ports (e.g. a setting the server answered with another value)
// to whoever registered here, normally the job's log. Each text is passed on once per process.
using DeviceNoteSink = void (*)(const std::string& note);
void setDeviceNoteSink(DeviceNoteSink sink);
void deviceNote(const std::string& note);

}  // namespace platform
