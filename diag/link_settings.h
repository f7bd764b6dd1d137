#pragma once

#include <cstdint>

// The five settings of the serial link to the scale, as "Kwlink.cfg" holds them.
struct LinkSettings {
    std::uint32_t port = 2;        // COM port number
    double receiveTimeout = 15.0;  // seconds from the acknowledgement of a request to its reply
    double ackTimeout = 2.0;       // seconds to wait for ACK or NAK of a sent frame
    std::uint32_t pause = 20;      // milliseconds before a repeat and after acknowledging
    std::uint32_t maxRepeats = 5;  // how often one frame may be sent again
};
