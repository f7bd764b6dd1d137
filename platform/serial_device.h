// The serial device underneath SerialPort.
//
// A port is named by its number n (COMn). On Windows the device is "Com<n>:" (from COM10 on
// "\\.\COM<n>", the only form Windows accepts there); on POSIX it is <dataDir>/com<n> when
// that path exists (normally a symbolic link to /dev/ttyUSB0, /dev/serial/by-id/... or a
// pseudo-terminal), else /dev/ttyS<n-1>. The link is followed only when it belongs to the
// running user or root, and what it names must be a terminal; a pseudo-terminal only one of
// the running user or root (anyone may make a pseudo-terminal and a link to it).
//
// Every operation returns 0 on success or the operating system's error code of the call that
// failed (errno on POSIX, GetLastError() on Windows); none throws. Read and write time-outs are
// fixed: 5 ms per byte plus 10 ms. One thread at a time uses a device; an idle wait for data
// (waitSerialDevice) blocks in the system and can be ended from another thread (SerialWake).
#pragma once

#include <cstdint>
#include <string>

#include "platform/line_settings.h"

namespace platform {

// An open serial device. Opaque outside the platform implementation; owned by whoever opened
// it until closeSerialDevice().
struct SerialDevice;

// The device name that port `portNumber` opens.
std::string serialDeviceName(std::int32_t portNumber);

// Opens port `portNumber` exclusively, sets the queues, purges, sets the time-outs and the line
// (`settings`) and purges again. `device` is set as soon as the device itself is open, also when
// a later step fails: the caller then decides whether to close it. A device in use by another
// process or descriptor is refused with an OS error code.
std::int32_t openSerialDevice(std::int32_t portNumber, const LineSettings& settings,
                              SerialDevice*& device);

// Why the last openSerialDevice() of this thread refused the device it found (a link or a
// device of another user, no terminal); empty when it did not. The open then returned EACCES
// (POSIX).
std::string serialDeviceRefusal();

// Reads up to `count` bytes into `buffer` (room for `count` bytes). Returns as soon as `count`
// bytes have arrived (Windows: as soon as any byte has arrived) or when 5 ms per byte + 10 ms
// have passed. `received` is the number of bytes read, also on failure. A device that has gone
// away is reported with an error code only after the same time has passed, so that a caller
// polling byte by byte does not spin.
std::int32_t readSerialDevice(SerialDevice* device, char* buffer, std::int32_t count,
                              std::int32_t& received);

// Writes `count` bytes, waiting at most 5 ms per byte + 10 ms. `written` is the number of bytes
// the device accepted.
std::int32_t writeSerialDevice(SerialDevice* device, const char* data, std::int32_t count,
                               std::int32_t& written);

// A wake-up for waitSerialDevice(): the way another thread (the one that handles a stop
// request) ends a wait at once. It is made apart from any device and outlives the devices it
// serves, so that raising it never races with the closing or reopening of a device.
struct SerialWake;

// Makes a wake-up that is not raised; nullptr when the system refuses one (waits then simply
// run for their time).
SerialWake* createSerialWake();

// Raises `wake`: a wait under way on it ends at once, and so does every later one (a wake-up
// stays raised; it exists to end waiting for good). Callable from any thread, also while
// another thread waits on it; nothing happens for nullptr.
void raiseSerialWake(SerialWake* wake);

// Frees `wake` (nullptr allowed). No wait may be under way on it.
void destroySerialWake(SerialWake* wake);

// Blocks, without polling, until a byte can be read from `device`, `milliseconds` have passed
// or `wake` is raised (or was raised before), whichever comes first; `wake` may be nullptr,
// `milliseconds` 0 only looks. No data is consumed: `readable` tells whether received data is
// waiting, so that the next readSerialDevice() returns at least one byte at once (after a wait
// ended by the wake it may be false although data is waiting). Returns 0, or the OS error code
// of a failed wait; a device that has gone away is reported with an error code only after
// `milliseconds` have passed (or the wake), so that a caller waiting in a loop does not spin.
// Used by the thread that uses the device.
std::int32_t waitSerialDevice(SerialDevice* device, std::int32_t milliseconds, SerialWake* wake,
                              bool& readable);

// Releases and closes the device; `device` is freed in every case.
std::int32_t closeSerialDevice(SerialDevice* device);

// The operating system's message text for `code` (code 0 gives the system's success text).
std::string systemErrorText(std::int32_t code);

// The calling thread's current OS error code.
std::int32_t currentSystemError();

}  // namespace platform
