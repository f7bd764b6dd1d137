#pragma once

#include <cstdint>
#include <string>

#include "platform/line_settings.h"

namespace platform {
struct SerialDevice;
struct SerialWake;
}  // namespace platform

// One COM port of the PC: holds the line settings, opens and configures the device, moves raw
// bytes with short fixed time-outs (5 ms per byte + 10 ms) and closes it. Never throws: every
// operation returns 0 on success, -1 for an error of this class (German text in errorText(),
// ending with LF) or the operating system's error code (its text in systemErrorText()). Used by
// one thread at a time.
class SerialPort {
  public:
    SerialPort();
    // Closes the device if it is open.
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Replaces the settings for the next open; refused (-1) while the port is open.
    std::int32_t configure(std::uint32_t baudRate, LineFormat format, std::int32_t handshake,
                           std::uint32_t inputQueueSize, std::uint32_t outputQueueSize);
    // Opens and configures COM `portNumber`. A failure after the device itself was opened
    // leaves it open: the caller decides whether to close it.
    std::int32_t open(std::int32_t portNumber);
    // `count` in: bytes wanted; out: bytes received, which `buffer` then holds. A time-out with
    // fewer bytes is -1, not an OS failure.
    std::int32_t read(std::string& buffer, std::int32_t& count);
    // Sends the first `count` bytes of `data`, all of it when `count` is negative; `count` out:
    // the bytes the device accepted. `count` must not exceed the length of `data`.
    std::int32_t write(std::string data, std::int32_t& count);
    std::int32_t close();
    // Waits, blocking in the system, until a byte can be read, `milliseconds` have passed or
    // wake() was called, whichever comes first; nothing is read. `readable` out: a byte is
    // waiting. A wait after wake() ends at once.
    std::int32_t waitReadable(std::int32_t milliseconds, bool& readable);
    // Ends a waitReadable() under way, and every later one, at once. The one operation that
    // may be called from another thread (the one that asks the job to stop).
    void wake();

    bool isOpen() const { return handle_ != nullptr; }
    std::int32_t portNumber() const { return portNumber_; }
    std::int32_t lastResult() const { return lastResult_; }
    const std::string& errorText() const { return errorText_; }
    const std::string& systemErrorText() const { return systemErrorText_; }
    const LineSettings& settings() const { return settings_; }
    // The device the last open tried (for diagnostics).
    const std::string& deviceName() const { return deviceName_; }

  private:
    void startOperation();

    std::int32_t portNumber_ = 0;
    platform::SerialDevice* handle_ = nullptr;
    // Made with the port and kept across opens and closes, so that wake() never races with them.
    platform::SerialWake* const wake_;
    std::string systemErrorText_;
    std::string errorText_;
    std::int32_t lastResult_ = 0;
    LineSettings settings_;
    std::string deviceName_;
};
