#pragma once

#include <cstdint>

// The character frame of the serial line, coded as the Windows device control block codes it.
struct LineFormat {
    std::uint8_t dataBits = 7;  // this system uses 7 and 8
    std::uint8_t parity = 1;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t stopBits = 0;  // 0 one stop bit, 1 one and a half, 2 two
};

// Everything the serial port needs for its next open. Copied whole.
struct LineSettings {
    std::uint32_t baudRate = 9600;
    LineFormat format;
    // Flow control: 0 none, 1 XON/XOFF, 2 hardware (RTS/CTS and DTR/DSR); any other value acts
    // as 0.
    std::int32_t handshake = 0;
    std::uint32_t inputQueueSize = 4096;   // driver receive queue, bytes
    std::uint32_t outputQueueSize = 4096;  // driver transmit queue, bytes
    // A port on the network: how long connecting, and setting its line, may take.
    std::uint32_t connectTimeoutMs = 15000;
};
