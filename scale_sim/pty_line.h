// The simulated scale's end of the serial line: the master side of a pseudo-terminal in packet
// mode. Packet mode reports every purge the program makes on the slave (tcflush, PurgeComm
// under wine) as a latched control packet; every open of the port purges, so a purge is how the
// simulated scale notices that the program has opened the port, even when it closed and
// reopened the port faster than a hang-up can be seen. The line's settings, read back on the
// master, tell when the program has configured the port: its speed leaves the start settings'
// 38400 baud.
#pragma once

#include <chrono>
#include <string>

namespace scale_sim {

class PtyLine {
  public:
    PtyLine() = default;
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Creates the pair and puts the line into its start settings. `slavePath` is the device the
    // program opens.
    bool create(std::string& slavePath, std::string& error);

    // The start settings: raw, 38400 baud, 8 data bits, no parity flags, no input, output or
    // local flags, no CLOCAL. Put back while the port is closed and before every greeting, so
    // that each configuration the program makes is a real change (under wine a settings call
    // that changes nothing a pseudo-terminal can hold fails).
    void resetSettings();

    // True when the line's speed is no longer the start settings' speed: the program has
    // configured the port since the settings were last put back.
    bool configuredByProgram() const;

    // The line's settings as an opaque value that changes whenever the program changes them.
    std::string settingsSnapshot() const;

    struct Input {
        std::string data;     // bytes the program sent
        bool purged = false;  // the program purged the port (it opened it)
        bool hangup = false;  // the program has the port closed
    };
    // Waits up to `timeoutMs` for bytes or line events.
    Input wait(int timeoutMs);

    // Sends `bytes`; with pacing, at the speed of a 9600-baud line.
    void send(const std::string& bytes);

    // Emulates a 9600-baud line in both directions: 11 bits per byte (start, 8 data, parity,
    // stop). Received bytes are handed on only when they would have arrived.
    void setPacing(bool on) { pacing_ = on; }

  private:
    using Clock = std::chrono::steady_clock;
    int master_ = -1;
    bool pacing_ = false;
    Clock::time_point receiveFreeAt_{};
};

}  // namespace scale_sim
